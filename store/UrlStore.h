#pragma once
#include <functional>
#include <string>
#include <vector>

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
    std::string proxy{};         ///< the row's own proxy ("none": direct); empty: the program's
    std::string headers{};       ///< the row's own request headers, one a line; empty: none
    std::string session{};       ///< a rendered row's logged-in session; empty: none
};

/// The table T_URL in an SQLite file (user.mdb). Every operation opens its own
/// connection and closes it before returning. Errors come back as false plus a reason.
/// The columns beyond the first three (validators, a text row's options and hash) are
/// nullable and added to an older table when it is opened, so that older programs, which
/// name their three columns, still read and write the file. Text rows' texts are kept in
/// the same file (TextStore.h).
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

  private:
    std::string m_strPath;
};

}  // namespace sentrel
