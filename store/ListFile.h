#pragma once
// The list as both programs keep it: where it is (user.mdb in the profile), how it is
// loaded (notes of older versions decoded, the shards' states folded in or read over it),
// where text rows keep their texts, and how it is saved: never over a list that could not
// be read, but to a recovery file beside it.
#include <memory>
#include <string>
#include <vector>

#include "model/WatchSession.h"
#include "store/TextStore.h"
#include "store/UrlStore.h"

namespace sentrel {

/// Stored text as the list shows it: UTF-8 as it is; other bytes (notes an older Windows
/// version wrote in GBK) read as GB18030, so that nothing turns into an empty cell.
std::string StoredText(const std::string& bytes);

class ListFile {
  public:
    /// user.mdb in the profile `dataDir` (which ends in a separator).
    static std::string PathIn(const std::string& dataDir);

    /// The list of the profile; shard `shardIndex` of `shardCount` (0: no shard) watches
    /// its own rows and keeps their state in a file of its own.
    explicit ListFile(std::string dataDir, int shardIndex = 0, int shardCount = 0);
    ~ListFile();

    const std::string& Path() const { return m_strPath; }
    /// Where Save writes: the list, a shard's state file, or the recovery file.
    const std::string& SaveTarget() const { return m_strTarget; }

    enum class Shards {
        Fold,  ///< the holder of the profile alone: the shards' state files go into the list
        Read,  ///< a shard, or a look while shards run: their states are read over it
    };
    /// Fills `session` with the list's rows (a shard's own only). What went wrong on the way
    /// and is to be told goes to `problems`, in the user's words. False when the list could
    /// not be read (why in ReadProblem): saving then goes to a recovery file beside it.
    bool Load(WatchSession& session, Shards shards, std::vector<std::string>& problems);
    const std::string& ReadProblem() const { return m_strReadProblem; }

    /// Where the session's text rows keep their texts.
    TextKeeper& Texts() { return *m_pTexts; }
    /// A page's kept texts, as Texts keeps them.
    bool LoadTexts(const std::string& url, PageTexts& texts, std::string& error) const;
    /// A page's kept versions, oldest first (numbered from 1): the list's, then those that
    /// shards running beside it keep.
    bool Versions(const std::string& url, std::vector<TextVersion>& versions, std::string& error) const;
    /// The text of version `n` of Versions; false with the reason when there is none.
    bool VersionText(const std::string& url, int n, std::string& text, std::string& error) const;
    /// What keeping texts has to tell (a text that could not be kept, a page whose versions
    /// passed their size), in the user's words, on whatever thread keeps a text.
    void OnTextProblem(std::function<void(const std::string&)> told) { m_fnTextProblem = std::move(told); }

    /// Saves the session's rows to SaveTarget. When that fails, the list's rows go to a
    /// recovery file beside it (the same one for the rest of the session). False with what
    /// to tell the user, in their words.
    bool Save(const WatchSession& session, std::string& told);

  private:
    std::string m_strDir, m_strPath, m_strState, m_strTarget, m_strRecovery, m_strReadProblem;
    int m_nShard = 0, m_nShards = 0;
    std::unique_ptr<TextKeeper> m_pTexts;
    std::function<void(const std::string&)> m_fnTextProblem;
};

}  // namespace sentrel
