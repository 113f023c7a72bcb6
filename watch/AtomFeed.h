#pragma once
// sentrel-watch --feed FILE: the last events as an Atom 1.0 feed (RFC 4287) that a web
// server can serve as it is. The file is replaced whole, never written in place, so a
// reader sees the old feed or the new one; the entries of earlier runs are read back
// from it, so the feed goes on across restarts.
#include <ctime>
#include <deque>
#include <string>

#include "AlertPolicy.h"

namespace sentrel {

class AtomFeed {
  public:
    static constexpr std::size_t kMaxEntries = 100;

    explicit AtomFeed(std::string path) : m_strPath(std::move(path)) {}

    /// Takes the feed's id and entries from the file when it holds a feed; a missing file
    /// is a new feed. False with the reason when the file is there but no feed: it is
    /// then left alone, never overwritten.
    bool Load(std::string& error);
    /// The event as the newest entry; the oldest beyond kMaxEntries go.
    void Add(const AlertReport& report);
    /// Writes the feed when entries came since the last write; false with the reason.
    bool Write(std::string& error);
    bool Dirty() const { return m_bDirty; }
    std::size_t Size() const { return m_entries.size(); }

  private:
    std::string m_strPath;
    std::string m_strId;                // the feed's own, kept across runs
    std::deque<std::string> m_entries;  // <entry> elements as written, newest first
    std::time_t m_updated = 0;          // the newest entry's time
    bool m_bDirty = false;
};

}  // namespace sentrel
