// The URL table in a real SQLite file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "StoreSql.h"
#include "store/UrlStore.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::vector<UrlRow> LoadAll(const UrlStore& store, bool* ok = nullptr,
                            std::string* error = nullptr) {
    std::vector<UrlRow> rows;
    std::string err;
    bool res = store.Load([&](UrlRow&& r) { rows.push_back(std::move(r)); }, err);
    if (ok) *ok = res;
    if (error) *error = err;
    return rows;
}

}  // namespace

namespace sentrel {
bool operator==(const UrlRow& a, const UrlRow& b) {
    return a.url == b.url && a.title == b.title && a.kbsize == b.kbsize && a.etag == b.etag &&
           a.lastModified == b.lastModified && a.compare == b.compare && a.select == b.select &&
           a.ignore == b.ignore && a.textHash == b.textHash;
}
}  // namespace sentrel

TEST(UrlStore, MissingFileAndTableAreCreatedEmpty) {
    TempDir dir;
    UrlStore store(dir.File("user.mdb"));
    bool ok = false;
    EXPECT_TRUE(LoadAll(store, &ok).empty());
    EXPECT_TRUE(ok);
    struct stat st {};
    EXPECT_EQ(0, stat(dir.File("user.mdb").c_str(), &st));
}

TEST(UrlStore, RowsRoundTripUnchangedInOrder) {
    TempDir dir;
    UrlStore store(dir.File("user.mdb"));
    std::vector<UrlRow> rows = {
        {"http://例子.测试/路径?q=中文", "新闻 \"首页\"", "1234"},
        {"http://a/'; DROP TABLE T_URL; --", "tab\there", "12abc"},
        {"http://a/'; DROP TABLE T_URL; --", "", "0"},  // duplicates stay
        {std::string(20000, 'u'), std::string(5000, 'n'), "2147483647"},
    };
    std::string error;
    ASSERT_TRUE(store.Save(rows, error)) << error;
    EXPECT_EQ(rows, LoadAll(store));
}

TEST(UrlStore, ByteCountsAreNormalisedOnSave) {
    TempDir dir;
    UrlStore store(dir.File("user.mdb"));
    const std::pair<const char*, const char*> cases[] = {
        {"", "0"},          {"0", "0"},   {"-5", "0"},  {"abc", "0"}, {"1234", "1234"},
        {"12abc", "12abc"}, {" 7", " 7"}, {"+3", "+3"}, {"000", "0"},
    };
    std::vector<UrlRow> rows;
    for (const auto& c : cases) rows.push_back({"http://x/", "", c.first});
    std::string error;
    ASSERT_TRUE(store.Save(rows, error)) << error;
    auto loaded = LoadAll(store);
    ASSERT_EQ(rows.size(), loaded.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(cases[i].second, loaded[i].kbsize) << cases[i].first;
}

TEST(UrlStore, EmptyNoteIsStoredAsEmptyTextAndNullReadsEmpty) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    UrlStore store(path);
    std::string error;
    ASSERT_TRUE(store.Save({{"http://a/", "", "5"}}, error));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT typeof(title) FROM T_URL", -1, &st, nullptr);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
    EXPECT_STREQ("text", reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);

    Sql(path, "INSERT INTO T_URL (url) VALUES ('http://b/')");
    auto rows = LoadAll(store);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("", rows[1].title);
    EXPECT_EQ("", rows[1].kbsize);
}

TEST(UrlStore, AnEmptyListEmptiesTheTable) {
    TempDir dir;
    UrlStore store(dir.File("user.mdb"));
    std::string error;
    ASSERT_TRUE(store.Save({{"http://a/", "n", "1"}, {"http://b/", "m", "2"}}, error));
    ASSERT_TRUE(store.Save({}, error));
    EXPECT_TRUE(LoadAll(store).empty());
}

TEST(UrlStore, UserColumnsAndNumericSizesAreLeftAlone) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    Sql(path,
        "CREATE TABLE T_URL (id INTEGER PRIMARY KEY, url TEXT, title TEXT, kbsize INTEGER, "
        "added TEXT DEFAULT 'user'); INSERT INTO T_URL (url, title, kbsize, added) "
        "VALUES ('http://a/', 'note', 4096, 'mine')");
    UrlStore store(path);
    auto rows = LoadAll(store);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("4096", rows[0].kbsize);
    std::string error;
    ASSERT_TRUE(store.Save(rows, error)) << error;
    EXPECT_EQ(rows, LoadAll(store));
}

TEST(UrlStore, AFailedSaveLeavesThePreviousTableWhole) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    UrlStore store(path);
    std::vector<UrlRow> before = {{"http://old/1", "a", "1"}, {"http://old/2", "b", "2"}};
    std::string error;
    ASSERT_TRUE(store.Save(before, error));
    // A real failure after some rows: the database refuses the fourth insert.
    Sql(path,
        "CREATE TRIGGER full BEFORE INSERT ON T_URL WHEN (SELECT count(*) FROM T_URL) >= 3 "
        "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    std::vector<UrlRow> after;
    for (int i = 0; i < 6; ++i) after.push_back({"http://new/" + std::to_string(i), "", "9"});
    EXPECT_FALSE(store.Save(after, error));
    EXPECT_NE(std::string::npos, error.find("disk full"));
    EXPECT_EQ(before, LoadAll(store));
}

TEST(UrlStore, ATableThatSilentlyDropsOrChangesRowsFailsTheSave) {
    // Triggers that swallow inserts, or rewrite them, must not pass for a saved list.
    const char* triggers[] = {
        "CREATE TRIGGER swallow BEFORE INSERT ON T_URL BEGIN SELECT RAISE(IGNORE); END",
        "CREATE TRIGGER rewrite AFTER INSERT ON T_URL BEGIN "
        "UPDATE T_URL SET url = 'http://elsewhere/' WHERE rowid = NEW.rowid; END",
    };
    for (const char* trigger : triggers) {
        TempDir dir;
        const std::string path = dir.File("user.mdb");
        UrlStore store(path);
        std::vector<UrlRow> before = {{"http://old/", "a", "1"}};
        std::string error;
        ASSERT_TRUE(store.Save(before, error));
        Sql(path, trigger);
        EXPECT_FALSE(store.Save({{"http://new/", "n", "5"}}, error)) << trigger;
        EXPECT_NE(std::string::npos, error.find("T_URL")) << error;
        EXPECT_EQ(before, LoadAll(store)) << "rolled back: " << trigger;
    }
}

TEST(UrlStore, UnusableFilesAreReportedWithTheirReason) {
    TempDir dir;
    const std::string notDb = dir.File("user.mdb");
    WriteFile(notDb,
              std::string("this is not a database, just some text\n") + std::string(5000, 'x'));
    bool ok = true;
    std::string error;
    LoadAll(UrlStore(notDb), &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, error.find("not a database")) << error;
    EXPECT_NE(std::string::npos, ReadFile(notDb).find("this is not a database"))
        << "left as it was";

    const std::string noColumn = dir.File("other.mdb");
    Sql(noColumn, "CREATE TABLE T_URL (url TEXT, title TEXT)");
    LoadAll(UrlStore(noColumn), &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, error.find("kbsize")) << error;

    LoadAll(UrlStore(dir.File("missing-dir/user.mdb")), &ok, &error);
    EXPECT_FALSE(ok);
}

TEST(UrlStore, ALockedStoreIsReportedNotWaitedOnForever) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    UrlStore store(path);
    std::string error;
    ASSERT_TRUE(store.Save({{"http://a/", "", "1"}}, error));
    sqlite3* locker = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &locker));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    bool ok = true;
    LoadAll(store, &ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_NE(std::string::npos, error.find("locked")) << error;
    EXPECT_FALSE(store.Save({}, error));
    sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
    EXPECT_EQ(1u, LoadAll(store).size()) << "the failed save changed nothing";
}

TEST(UrlStore, AnOldTableGainsNullableValidatorColumnsThatOlderProgramsIgnore) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    Sql(path,
        "CREATE TABLE T_URL (url TEXT, title TEXT, kbsize TEXT);"
        "INSERT INTO T_URL VALUES ('http://a/', 'n', '5')");
    UrlStore store(path);
    EXPECT_EQ((std::vector<UrlRow>{{"http://a/", "n", "5"}}), LoadAll(store));

    std::string error;
    const std::vector<UrlRow> rows = {
        {"http://a/", "n", "5", "\"v1\"", "Mon, 07 Dec 2026"},
        {"http://b/", "", "7"},
        {"http://t/", "", "12", "", "", "text", "#main > p", "visitors\n/\\d+/", "0123456789abcdef"},
        {"http://i/", "", "3", "", "", "", "", "", "", "86400"},
        {"http://r/", "", "4", "", "", "text", "#app", "", "", "", "1"}};
    ASSERT_TRUE(store.Save(rows, error)) << error;
    EXPECT_EQ(rows, LoadAll(store));
    // No validator or text option is NULL, not empty text.
    Sql(path,
        "CREATE TABLE counts AS SELECT count(*) AS n FROM T_URL WHERE etag IS NULL AND "
        "lastmod IS NULL AND compare IS NULL AND texthash IS NULL AND interval IS NULL AND render IS NULL");
    // What an older program does with the file: its own three columns, read and rewritten.
    Sql(path,
        "DELETE FROM T_URL; INSERT INTO T_URL (url, title, kbsize) VALUES ('http://c/', "
        "'', '9')");
    EXPECT_EQ((std::vector<UrlRow>{{"http://c/", "", "9"}}), LoadAll(store));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT n FROM counts", -1, &st, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
    EXPECT_EQ(1, sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
}
