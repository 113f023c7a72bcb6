#pragma once
// The profile a command of sentrel-watch works on: its list (a shard's own rows when the run
// is a shard), the run's model filled from it, and the locks that keep two programs off one
// list. Every command opens it so.
#include <memory>
#include <string>

#include "model/WatchSession.h"
#include "platform/ProfileLock.h"
#include "store/ListFile.h"
#include "support/CCore.h"
#include "watch/WatchArgs.h"

namespace sentrel {

class WatchProfile {
  public:
    WatchProfile(const Args& args, CCore& core);
    ListFile& List() { return *m_list; }
    WatchSession& Session() { return m_session; }

    /// Takes the profile's locks as the run needs them: shared, and the shard's own, for a
    /// shard; alone otherwise. False, told, when another program holds them (or a set of
    /// shards of another count runs).
    bool Lock();
    /// Fills the model with the list's rows, the shards' states folded in or read over
    /// them; false, told, when the list could not be read.
    bool Load(ListFile::Shards shards);

  private:
    bool Take(ProfileLock& lock, ProfileLock::Hold hold, const std::string& name);
    bool RefuseOtherCounts();

    const Args& m_args;
    CCore& m_core;
    std::unique_ptr<ListFile> m_list;
    WatchSession m_session;
    ProfileLock m_lock, m_shardLock;
};

}  // namespace sentrel
