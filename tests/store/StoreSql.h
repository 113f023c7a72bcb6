#pragma once
// SQL run on a store's file as another program (or a hand) would: to set up what an older
// version left, or to damage it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace sentrel::test {

inline void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    char* msg = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg)) << (msg ? msg : "");
    sqlite3_free(msg);
    sqlite3_close(db);
}

}  // namespace sentrel::test
