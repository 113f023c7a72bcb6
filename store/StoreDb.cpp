#include "store/StoreDb.h"

#include <tuple>

namespace sentrel {
namespace storedb {

namespace {

constexpr int kBusyTimeoutMs = 3000;
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS T_URL (url TEXT, title TEXT, kbsize TEXT, etag TEXT, "
    "lastmod TEXT, compare TEXT, selector TEXT, ignore TEXT, texthash TEXT, interval TEXT, "
    "render TEXT, alertif TEXT, proxy TEXT, headers TEXT, session TEXT)";
// A text row's last two texts (what older programs read), and the number change:P%
// measures from.
constexpr const char* kCreateTexts =
    "CREATE TABLE IF NOT EXISTS T_TEXT (url TEXT PRIMARY KEY, last TEXT, lasttime INTEGER, "
    "prev TEXT, prevtime INTEGER, alertnum REAL)";
// Every kept version of a text row's text, oldest first by seq. `whole` 1: body is the
// text; 0: body is a line delta that makes it of the next version's text. `hash` is the
// text's (XXH64), so that a text rebuilt of deltas is known to be right.
constexpr const char* kCreateVersions =
    "CREATE TABLE IF NOT EXISTS T_VERSION (url TEXT, seq INTEGER, time INTEGER, size INTEGER, "
    "added INTEGER, removed INTEGER, kind INTEGER, because TEXT, whole INTEGER, body BLOB, "
    "hash INTEGER, PRIMARY KEY (url, seq))";

// True when the table has the column.
bool HasColumn(sqlite3* db, const char* table, const char* column) {
    Stmt s = Prepare(db, "SELECT 1 FROM pragma_table_info(?) WHERE name = ?");
    if (!s) return false;
    sqlite3_bind_text(s.get(), 1, table, -1, SQLITE_STATIC);
    sqlite3_bind_text(s.get(), 2, column, -1, SQLITE_STATIC);
    return sqlite3_step(s.get()) == SQLITE_ROW;
}

}  // namespace

std::string Describe(sqlite3* db, const std::string& path) {
    return path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

bool Open(const std::string& path, Db& db, std::string& error) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db.reset(raw);
    // Creating the table also proves that the file is a readable database.
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(raw, kBusyTimeoutMs);
        sqlite3_extended_result_codes(raw, 1);
        rc = sqlite3_exec(raw, kCreateTable, nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) return true;
    error = Describe(raw, path);
    db.reset();
    return false;
}

const char* Text(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? reinterpret_cast<const char*>(t) : "";
}

bool BeginWrite(sqlite3* db) {
    return sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Failed(sqlite3* db, const std::string& path, std::string& error) {
    error = Describe(db, path);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) return nullptr;
    return Stmt(raw);
}

bool EnsureTextTables(sqlite3* db) {
    Stmt had = Prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'T_VERSION'");
    if (!had) return false;
    const bool hadVersions = sqlite3_step(had.get()) == SQLITE_ROW;
    had.reset();
    if (sqlite3_exec(db, kCreateTexts, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, kCreateVersions, nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    // The last two texts an earlier version kept become the first versions (how much
    // changed between them is not known).
    if (!hadVersions &&
        sqlite3_exec(db,
                     "INSERT OR IGNORE INTO T_VERSION SELECT url, 1, prevtime, "
                     "length(CAST(prev AS BLOB)), NULL, NULL, 0, NULL, 1, CAST(prev AS BLOB), NULL "
                     "FROM T_TEXT WHERE prevtime > 0 AND prev IS NOT NULL;"
                     "INSERT OR IGNORE INTO T_VERSION SELECT url, CASE WHEN prevtime > 0 AND prev "
                     "IS NOT NULL THEN 2 ELSE 1 END, lasttime, length(CAST(last AS BLOB)), NULL, "
                     "NULL, CASE WHEN prevtime > 0 AND prev IS NOT NULL THEN 1 ELSE 0 END, NULL, "
                     "1, CAST(last AS BLOB), NULL FROM T_TEXT WHERE lasttime > 0 AND last IS NOT NULL",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    // Tables of earlier versions lack the columns added since: T_TEXT's alertnum,
    // T_VERSION's hash (their versions are then known by their size alone).
    for (const auto& [table, column, sql] :
         {std::tuple<const char*, const char*, const char*>{"T_TEXT", "alertnum", "ALTER TABLE T_TEXT ADD COLUMN alertnum REAL"},
          {"T_VERSION", "hash", "ALTER TABLE T_VERSION ADD COLUMN hash INTEGER"}})
        if (!HasColumn(db, table, column) && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    return true;
}

void DropTextsOfGonePages(sqlite3* db) {
    if (!EnsureTextTables(db)) return;
    sqlite3_exec(db,
                 "DELETE FROM T_TEXT WHERE url NOT IN (SELECT url FROM T_URL);"
                 "DELETE FROM T_VERSION WHERE url NOT IN (SELECT url FROM T_URL)",
                 nullptr, nullptr, nullptr);
}

}  // namespace storedb
}  // namespace sentrel
