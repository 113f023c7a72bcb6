#pragma once
// Shards: N sentrel-watch processes share one list, each watching the rows whose URL
// hashes to it. The list (user.mdb) is only read while they run: each shard keeps its
// rows' sizes, validators, hashes and texts in a file of its own beside it
// (shard-I-of-N.mdb), written by that shard alone, so no shard can lose another's
// state and none waits on another's writes, also on a network volume. Whoever next holds
// the profile alone (the window, sentrel-watch without --shard) folds those files back
// into the list first and removes them.
#include <string>
#include <vector>

#include "store/UrlStore.h"
#include "store/WatchList.h"

namespace sentrel {

/// Which of `count` shards watches `url`: XXH64 of its bytes, modulo `count`, the same on
/// every host, system and version.
int ShardOf(const std::string& url, int count);

/// Reads "I/N" (or "I-N", as a systemd instance names it) with 0 <= I < N <= 1000.
bool ParseShard(const std::string& text, int& index, int& count);

/// The state file of shard `index` of `count` in the profile `dataDir`.
std::string ShardStatePath(const std::string& dataDir, int index, int count);

/// Rows of `list` take the size, validators and text hash that `state` holds for them:
/// rows of the same URL, compared the same way, matched in order.
void TakeState(std::vector<UrlRow>& list, const std::vector<UrlRow>& state);

/// The shard state files of `dataDir`, oldest first.
std::vector<std::string> ShardStateFiles(const std::string& dataDir);

/// Rows of `list` take what every shard state file of `dataDir` holds for them, oldest
/// file first: what shards measured, as --list reads the list while they run, and as a
/// shard starts. A shard (`index` of `count`) passes over the other files of its own
/// count: they hold none of its rows, and their shards may be writing them. A file that
/// cannot be read is passed over too (rows read before the failure count), named in the
/// problems returned ("path: reason").
std::vector<std::string> ReadShardStates(const std::string& dataDir, std::vector<UrlRow>& list,
                                         int index = -1, int count = 0);

/// Folds every shard state file of `dataDir` into `store`, oldest first, with the texts
/// they keep, then removes them. Only for the holder of the profile alone. A file that
/// cannot be read is set aside as "<name>.bad", named in `problems`, so that it never
/// blocks a fold. False with the reason when the list itself cannot be read or saved; the
/// files are left for the next time then.
bool FoldShardStates(const std::string& dataDir, const UrlStore& store, std::string& error,
                     std::vector<std::string>& problems);

/// The shards of another count than `count` that hold their locks in `dataDir` now
/// ("I/N" each): shards of two counts side by side would watch pages twice.
std::vector<std::string> ShardsOfOtherCounts(const std::string& dataDir, int count);

/// The name of the lock shard `index` of `count` holds alone in its profile.
std::string ShardLockName(int index, int count);

/// A shard keeps its texts in its own file; a page it has kept none of yet has the list's.
class ShardTextKeeper : public TextKeeper {
  public:
    ShardTextKeeper(const std::string& own, const std::string& list,
                    const std::function<void(const std::string&)>& onError)
        : m_own(own, onError), m_list(list, onError) {}
    bool KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                     const Decide& decide) override {
        return m_own.KeepVersion(url, text, when, [&](const PreviousText& own, VersionNote& note) {
            if (own.bHave && own.bHaveBase) return decide(own, note);
            // What the list kept before this shard's first text of the page.
            PreviousText previous = m_list.Previous(url);
            if (own.bHave) {
                previous.bHave = true;
                previous.text = own.text;
            }
            if (own.bHaveBase) {
                previous.bHaveBase = true;
                previous.base = own.base;
            }
            return decide(previous, note);
        });
    }

  private:
    StoreTextKeeper m_own, m_list;
};

}  // namespace sentrel
