#pragma once
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "TextKeeper.h"

namespace sentrel {

/// One stored row: the page's URL, the user's note and its last known size as text, with
/// the validators (ETag, Last-Modified) of the response that size was measured from.
struct UrlRow {
    std::string url;
    std::string title;
    std::string kbsize;
    std::string etag{};          ///< empty: none (NULL in the table)
    std::string lastModified{};  ///< empty: none (NULL in the table)
    std::string compare{};       ///< a text row's mode ("text"); empty: a size row
    std::string select{};        ///< a text row's region
    std::string ignore{};        ///< a text row's ignore rules
    std::string textHash{};      ///< a text row's text hash, 16 hex digits
    std::string interval{};      ///< the page's own seconds between probes; empty: the program's
    std::string render{};        ///< "1": a text row whose page a browser renders; empty: not
    std::string alertIf{};       ///< a text row's conditions, one a line; empty: none
};

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

/// The table T_URL in an SQLite file (user.mdb). Every operation opens its own
/// connection and closes it before returning. Errors come back as false plus a reason.
/// The columns beyond the first three (validators, a text row's options and hash) are
/// nullable and added to an older table when it is opened, so that older programs, which
/// name their three columns, still read and write the file. Text rows' texts live in a
/// table of their own, T_TEXT, by URL, and their versions in T_VERSION.
class UrlStore {
  public:
    explicit UrlStore(std::string path) : m_strPath(std::move(path)) {}

    const std::string& Path() const { return m_strPath; }

    /// Calls `onRow` for every row, in table order; creates the file and the table when
    /// they are missing. NULL values read as empty text.
    bool Load(const std::function<void(UrlRow&&)>& onRow, std::string& error) const;

    /// Replaces the table's rows by `rows`, in order, in one transaction: on any failure
    /// the table keeps what it had. Byte counts are stored normalised.
    bool Save(const std::vector<UrlRow>& rows, std::string& error) const;

    /// "0" when the text's leading integer (atoi rule) is below 1, else the text unchanged.
    static std::string NormaliseByteCount(const std::string& text);

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

    /// Takes the kept texts of another store (a shard's) for the pages of this list, its
    /// versions after this store's own.
    bool TakeTexts(const std::string& otherPath, std::string& error) const;

  private:
    std::string m_strPath;
};

}  // namespace sentrel
