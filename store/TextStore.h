#pragma once
// Text rows' texts in the list's SQLite file (user.mdb, or a shard's): the last two of each
// page (T_TEXT, which older versions read) and the versions kept (T_VERSION), older ones as
// the lines that make them of the next, each with the hash of its text.
#include <ctime>
#include <string>
#include <vector>

#include "model/TextKeeper.h"

namespace sentrel {

/// A text row's last two texts, with when each was read.
struct PageTexts {
    std::string last;
    std::time_t lastTime = 0;
    std::string previous;
    std::time_t previousTime = 0;
};

/// One kept version of a text row's text.
struct TextVersion {
    int n = 0;  ///< 1 for the oldest kept
    std::time_t time = 0;
    long long nSize = 0;  ///< bytes of its text
    int nAdded = -1;      ///< lines that came and went since the version before; -1: not known
    int nRemoved = -1;
    VersionKind kind = VersionKind::Told;
    std::string because;  ///< the condition that made it told
};

/// The texts and versions of one store file. Every operation opens its own connection
/// and closes it before returning; errors come back as false plus a reason.
class TextStore {
  public:
    explicit TextStore(std::string path) : m_strPath(std::move(path)) {}
    const std::string& Path() const { return m_strPath; }

    /// The page's kept texts (empty ones when none are kept).
    bool LoadTexts(const std::string& url, PageTexts& texts, std::string& error) const;
    /// Keeps `text` (as much as content::KeptText keeps) as the page's last text, the last
    /// one becoming the previous, and as its newest version with its hash, in one
    /// transaction, with the note `decide` gives once it has seen what was kept before
    /// (`kept` false when it keeps nothing): the version before it is then kept as the
    /// lines that make it of the new one, where that is much smaller, and the oldest beyond
    /// `note.depth` go, and those beyond `note.maxBytes` (how many of those, in `dropped`).
    /// The file is opened once.
    bool KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                     const TextKeeper::Decide& decide, bool& kept, std::string& error,
                     int* dropped = nullptr) const;
    /// The same with the note known beforehand.
    bool KeepText(const std::string& url, const std::string& text, std::time_t when,
                  const VersionNote& note, std::string& error, int* dropped = nullptr) const;
    /// The number change:P% measures from (`have` false when none is kept).
    bool AlertBase(const std::string& url, double& base, bool& have, std::string& error) const;
    /// The page's kept versions, oldest first.
    bool Versions(const std::string& url, std::vector<TextVersion>& versions,
                  std::string& error) const;
    /// The text of version `n` (1: the oldest kept); false with the reason when there is
    /// no such version, or when its text cannot be rebuilt as it was kept (已损坏).
    bool VersionText(const std::string& url, int n, std::string& text, std::string& error) const;

    /// Takes the kept texts of another store (a shard's) for the pages of this list (its
    /// T_URL), its versions after this store's own.
    bool TakeTexts(const std::string& otherPath, std::string& error) const;

  private:
    std::string m_strPath;
};

}  // namespace sentrel
