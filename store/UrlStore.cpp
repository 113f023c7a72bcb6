#include "UrlStore.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>

#include "TextRules.h"

namespace sentrel {

namespace {

constexpr int kBusyTimeoutMs = 3000;
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS T_URL (url TEXT, title TEXT, kbsize TEXT, etag TEXT, "
    "lastmod TEXT)";

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

std::string Describe(sqlite3* db, const std::string& path) {
    return path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

// True when T_URL has the validator columns, adding them if it lacks them. A table that
// takes no new column (a view, a read-only file) is used with its three columns.
bool HasValidatorColumns(sqlite3* h) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(h, "SELECT name FROM pragma_table_info('T_URL')", -1, &raw, nullptr) !=
        SQLITE_OK)
        return false;
    Stmt stmt(raw);
    bool etag = false, lastmod = false;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        etag = etag || name == "etag";
        lastmod = lastmod || name == "lastmod";
    }
    stmt.reset();
    if (!etag && sqlite3_exec(h, "ALTER TABLE T_URL ADD COLUMN etag TEXT", nullptr, nullptr,
                              nullptr) != SQLITE_OK)
        return false;
    if (!lastmod && sqlite3_exec(h, "ALTER TABLE T_URL ADD COLUMN lastmod TEXT", nullptr, nullptr,
                                 nullptr) != SQLITE_OK)
        return false;
    return true;
}

// Text bound as itself, or NULL when empty.
void BindOptional(sqlite3_stmt* s, int col, const std::string& text) {
    if (text.empty())
        sqlite3_bind_null(s, col);
    else
        sqlite3_bind_text(s, col, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

Db Open(const std::string& path, std::string& error) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        error = Describe(raw, path);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);
    // Creating the table also proves that the file is a readable database.
    if (sqlite3_exec(raw, kCreateTable, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = Describe(raw, path);
        return nullptr;
    }
    return db;
}

const char* Text(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? reinterpret_cast<const char*>(t) : "";
}

// True when the table holds exactly these rows, in order.
bool HoldsExactly(sqlite3* h, const std::vector<UrlRow>& rows,
                  const std::vector<std::string>& kbsizes) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(h, "SELECT url, title, kbsize FROM T_URL ORDER BY rowid", -1, &raw,
                           nullptr) != SQLITE_OK)
        return false;
    Stmt stmt(raw);
    std::size_t i = 0;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        if (i >= rows.size() || Text(raw, 0) != rows[i].url || Text(raw, 1) != rows[i].title ||
            Text(raw, 2) != kbsizes[i])
            return false;
        ++i;
    }
    return rc == SQLITE_DONE && i == rows.size();
}

}  // namespace

std::string UrlStore::NormaliseByteCount(const std::string& text) {
    return AtoiClamped(text.c_str()) > 0 ? text : std::string("0");
}

bool UrlStore::Load(const std::function<void(UrlRow&&)>& onRow, std::string& error) const {
    Db db = Open(m_strPath, error);
    if (!db) return false;
    const bool validators = HasValidatorColumns(db.get());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           validators ? "SELECT url, title, kbsize, etag, lastmod FROM T_URL"
                                      : "SELECT url, title, kbsize FROM T_URL",
                           -1, &raw, nullptr) != SQLITE_OK) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    Stmt stmt(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        UrlRow row{Text(raw, 0), Text(raw, 1), Text(raw, 2), {}, {}};
        if (validators) {
            row.etag = Text(raw, 3);
            row.lastModified = Text(raw, 4);
        }
        onRow(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    return true;
}

bool UrlStore::Save(const std::vector<UrlRow>& rows, std::string& error) const {
    Db db = Open(m_strPath, error);
    if (!db) return false;
    sqlite3* h = db.get();
    auto fail = [&] {
        error = Describe(h, m_strPath);
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    const bool validators = HasValidatorColumns(h);
    if (sqlite3_exec(h, "delete from T_URL", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    std::vector<std::string> kbsizes;
    kbsizes.reserve(rows.size());
    if (!rows.empty()) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(h,
                               validators
                                   ? "INSERT INTO T_URL (url, title, kbsize, etag, lastmod) "
                                     "VALUES (?, ?, ?, ?, ?)"
                                   : "INSERT INTO T_URL (url, title, kbsize) VALUES (?, ?, ?)",
                               -1, &raw, nullptr) != SQLITE_OK)
            return fail();
        Stmt stmt(raw);
        for (const UrlRow& row : rows) {
            kbsizes.push_back(NormaliseByteCount(row.kbsize));
            const std::string& kbsize = kbsizes.back();
            sqlite3_bind_text(raw, 1, row.url.data(), static_cast<int>(row.url.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(raw, 2, row.title.data(), static_cast<int>(row.title.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(raw, 3, kbsize.data(), static_cast<int>(kbsize.size()),
                              SQLITE_TRANSIENT);
            if (validators) {
                BindOptional(raw, 4, row.etag);
                BindOptional(raw, 5, row.lastModified);
            }
            if (sqlite3_step(raw) != SQLITE_DONE) return fail();
            sqlite3_reset(raw);
        }
    }
    // A table whose triggers drop or change rows would take the list without keeping it:
    // the rewrite counts only when the table now holds exactly the rows written.
    if (!HoldsExactly(h, rows, kbsizes)) {
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        error = m_strPath + ": 表 T_URL 没有保存写入的网址（可能有触发器或视图改变了写入）";
        return false;
    }
    if (sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return true;
}

}  // namespace sentrel
