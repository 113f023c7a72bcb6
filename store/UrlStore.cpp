#include "UrlStore.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>

#include "LineDiff.h"
#include "TextRules.h"
#include "Translate.h"

namespace sentrel {

namespace {

constexpr int kBusyTimeoutMs = 3000;
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS T_URL (url TEXT, title TEXT, kbsize TEXT, etag TEXT, "
    "lastmod TEXT, compare TEXT, selector TEXT, ignore TEXT, texthash TEXT, interval TEXT, render TEXT)";
constexpr const char* kCreateTexts =
    "CREATE TABLE IF NOT EXISTS T_TEXT (url TEXT PRIMARY KEY, last TEXT, lasttime INTEGER, "
    "prev TEXT, prevtime INTEGER)";
// The nullable columns after the first three, in the order UrlRow has them.
constexpr const char* kOptionalColumns[] = {"etag",   "lastmod",  "compare",  "selector",
                                            "ignore", "texthash", "interval", "render"};
constexpr int kOptional = 8;

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

// True when T_URL has the optional columns, adding those it lacks. A table that takes no
// new column (a view, a read-only file) is used with its three columns.
bool HasOptionalColumns(sqlite3* h) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(h, "SELECT name FROM pragma_table_info('T_URL')", -1, &raw, nullptr) !=
        SQLITE_OK)
        return false;
    Stmt stmt(raw);
    bool have[kOptional] = {};
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        for (int i = 0; i < kOptional; ++i) have[i] = have[i] || name == kOptionalColumns[i];
    }
    stmt.reset();
    for (int i = 0; i < kOptional; ++i) {
        const std::string alter =
            std::string("ALTER TABLE T_URL ADD COLUMN ") + kOptionalColumns[i] + " TEXT";
        if (!have[i] && sqlite3_exec(h, alter.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

// Each optional field of a row, in the columns' order.
std::string* OptionalFields(UrlRow& row, int i) {
    std::string* fields[kOptional] = {&row.etag,     &row.lastModified, &row.compare,
                                      &row.select,   &row.ignore,       &row.textHash,
                                      &row.interval, &row.render};
    return fields[i];
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
    const bool optional = HasOptionalColumns(db.get());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           optional ? "SELECT url, title, kbsize, etag, lastmod, compare, "
                                      "selector, ignore, texthash, interval, render FROM T_URL"
                                    : "SELECT url, title, kbsize FROM T_URL",
                           -1, &raw, nullptr) != SQLITE_OK) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    Stmt stmt(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        UrlRow row{Text(raw, 0), Text(raw, 1), Text(raw, 2)};
        if (optional)
            for (int i = 0; i < kOptional; ++i) *OptionalFields(row, i) = Text(raw, 3 + i);
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
    const bool optional = HasOptionalColumns(h);
    if (sqlite3_exec(h, "delete from T_URL", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    std::vector<std::string> kbsizes;
    kbsizes.reserve(rows.size());
    if (!rows.empty()) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(h,
                               optional
                                   ? "INSERT INTO T_URL (url, title, kbsize, etag, lastmod, "
                                     "compare, selector, ignore, texthash, interval, render) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
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
            if (optional)
                for (int i = 0; i < kOptional; ++i)
                    BindOptional(raw, 4 + i, *OptionalFields(const_cast<UrlRow&>(row), i));
            if (sqlite3_step(raw) != SQLITE_DONE) return fail();
            sqlite3_reset(raw);
        }
    }
    // A table whose triggers drop or change rows would take the list without keeping it:
    // the rewrite counts only when the table now holds exactly the rows written.
    if (!HoldsExactly(h, rows, kbsizes)) {
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        error = m_strPath + ": " + Tr("表 T_URL 没有保存写入的网址（可能有触发器或视图改变了写入）");
        return false;
    }
    // Texts of pages no longer in the list go with them (a table that cannot hold texts
    // keeps the list all the same).
    if (sqlite3_exec(h, kCreateTexts, nullptr, nullptr, nullptr) == SQLITE_OK)
        sqlite3_exec(h, "DELETE FROM T_TEXT WHERE url NOT IN (SELECT url FROM T_URL)", nullptr,
                     nullptr, nullptr);
    if (sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return true;
}

bool UrlStore::TakeTexts(const std::string& otherPath, std::string& error) const {
    Db db = Open(m_strPath, error);
    if (!db) return false;
    sqlite3* h = db.get();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_exec(h, kCreateTexts, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(h, "ATTACH DATABASE ? AS other", -1, &raw, nullptr) != SQLITE_OK) {
        error = Describe(h, m_strPath);
        return false;
    }
    Stmt attach(raw);
    sqlite3_bind_text(raw, 1, otherPath.data(), static_cast<int>(otherPath.size()), SQLITE_STATIC);
    if (sqlite3_step(raw) != SQLITE_DONE) {
        error = Describe(h, otherPath);
        return false;
    }
    // A store that never kept a text has no table of them: nothing to take.
    const bool ok =
        sqlite3_exec(h,
                     "INSERT OR REPLACE INTO main.T_TEXT (url, last, lasttime, prev, prevtime) "
                     "SELECT url, last, lasttime, prev, prevtime FROM other.T_TEXT "
                     "WHERE url IN (SELECT url FROM main.T_URL)",
                     nullptr, nullptr, nullptr) == SQLITE_OK ||
        std::string(sqlite3_errmsg(h)).find("no such table") != std::string::npos;
    if (!ok) error = Describe(h, m_strPath);
    sqlite3_exec(h, "DETACH DATABASE other", nullptr, nullptr, nullptr);
    return ok;
}

bool UrlStore::LoadTexts(const std::string& url, PageTexts& texts, std::string& error) const {
    texts = PageTexts();
    Db db = Open(m_strPath, error);
    if (!db) return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_exec(db.get(), kCreateTexts, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db.get(),
                           "SELECT last, lasttime, prev, prevtime FROM T_TEXT WHERE url = ?", -1,
                           &raw, nullptr) != SQLITE_OK) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    Stmt stmt(raw);
    sqlite3_bind_text(raw, 1, url.data(), static_cast<int>(url.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) {
        texts.last = Text(raw, 0);
        texts.lastTime = static_cast<std::time_t>(sqlite3_column_int64(raw, 1));
        texts.previous = Text(raw, 2);
        texts.previousTime = static_cast<std::time_t>(sqlite3_column_int64(raw, 3));
    } else if (rc != SQLITE_DONE) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    return true;
}

bool UrlStore::KeepText(const std::string& url, const std::string& text, std::time_t when,
                        std::string& error) const {
    Db db = Open(m_strPath, error);
    if (!db) return false;
    sqlite3* h = db.get();
    const std::string kept = content::KeptText(text);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_exec(h, kCreateTexts, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(h,
                           "INSERT INTO T_TEXT (url, last, lasttime) VALUES (?1, ?2, ?3) "
                           "ON CONFLICT(url) DO UPDATE SET prev = last, prevtime = lasttime, "
                           "last = ?2, lasttime = ?3",
                           -1, &raw, nullptr) != SQLITE_OK) {
        error = Describe(h, m_strPath);
        return false;
    }
    Stmt stmt(raw);
    sqlite3_bind_text(raw, 1, url.data(), static_cast<int>(url.size()), SQLITE_STATIC);
    sqlite3_bind_text(raw, 2, kept.data(), static_cast<int>(kept.size()), SQLITE_STATIC);
    sqlite3_bind_int64(raw, 3, static_cast<sqlite3_int64>(when));
    if (sqlite3_step(raw) != SQLITE_DONE) {
        error = Describe(h, m_strPath);
        return false;
    }
    return true;
}

}  // namespace sentrel
