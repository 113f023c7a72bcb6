#include "store/UrlStore.h"

#include <cctype>
#include <memory>

#include "base/Translate.h"
#include "platform/TextRules.h"
#include "store/StoreDb.h"

namespace sentrel {

using namespace storedb;

namespace {

// The nullable columns after the first three, in the order UrlRow has them.
constexpr const char* kOptionalColumns[] = {"etag",     "lastmod", "compare", "selector",
                                            "ignore",   "texthash", "interval", "render",
                                            "alertif",  "proxy",   "headers", "session"};
constexpr int kOptional = 12;

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
    std::string* fields[kOptional] = {&row.etag,     &row.lastModified, &row.compare, &row.select,
                                      &row.ignore,   &row.textHash,     &row.interval, &row.render,
                                      &row.alertIf,  &row.proxy,        &row.headers, &row.session};
    return fields[i];
}

// Text bound as itself, or NULL when empty.
void BindOptional(sqlite3_stmt* s, int col, const std::string& text) {
    if (text.empty())
        sqlite3_bind_null(s, col);
    else
        sqlite3_bind_text(s, col, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
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
    Db db;
    if (!Open(m_strPath, db, error)) return false;
    const bool optional = HasOptionalColumns(db.get());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           optional ? "SELECT url, title, kbsize, etag, lastmod, compare, "
                                      "selector, ignore, texthash, interval, render, alertif, "
                                      "proxy, headers, session FROM T_URL"
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
    Db db;
    if (!Open(m_strPath, db, error)) return false;
    sqlite3* h = db.get();
    auto fail = [&] { return Failed(h, m_strPath, error); };
    if (!BeginWrite(h)) return fail();
    const bool optional = HasOptionalColumns(h);
    if (sqlite3_exec(h, "delete from T_URL", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    std::vector<std::string> kbsizes;
    kbsizes.reserve(rows.size());
    if (!rows.empty()) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(h,
                               optional
                                   ? "INSERT INTO T_URL (url, title, kbsize, etag, lastmod, "
                                     "compare, selector, ignore, texthash, interval, render, "
                                     "alertif, proxy, headers, session) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
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
    // Texts and versions of pages no longer in the list go with them (a file that cannot
    // hold texts keeps the list all the same).
    DropTextsOfGonePages(h);
    if (sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return true;
}

}  // namespace sentrel
