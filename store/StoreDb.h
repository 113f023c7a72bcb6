#pragma once
// Inside the store: one SQLite file opened as every operation of the store opens it, and
// the handles' owners.
#include <sqlite3.h>

#include <memory>
#include <string>

namespace sentrel {
namespace storedb {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

/// "path: SQLite's message".
std::string Describe(sqlite3* db, const std::string& path);
/// Opens (or creates) the file with its list table; false with the reason when it is no
/// database that can be read.
bool Open(const std::string& path, Db& db, std::string& error);
/// A column's text ("" for NULL).
const char* Text(sqlite3_stmt* s, int col);
/// Begins a transaction that writes, taking the file's write lock at once.
bool BeginWrite(sqlite3* db);
/// A write that failed: its transaction rolled back, `error` the reason; false.
bool Failed(sqlite3* db, const std::string& path, std::string& error);
/// Prepares `sql`; null when it cannot be.
Stmt Prepare(sqlite3* db, const char* sql);

/// Makes sure the tables of text rows' texts and versions are there (with the columns this
/// version adds to older ones); false when they cannot be.
bool EnsureTextTables(sqlite3* db);
/// Drops the texts and versions of pages no longer in the list.
void DropTextsOfGonePages(sqlite3* db);

}  // namespace storedb
}  // namespace sentrel
