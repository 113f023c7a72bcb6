// The list as both programs load and save it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Files.h"
#include "store/ListFile.h"
#include "store/ShardState.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
std::string Dir(const TempDir& t) {
    return t.Path() + "/";
}
}  // namespace

TEST(ListFile, NotesOfAnOlderGbkListReadAsTheyWereWritten) {
    TempDir t;
    std::string error;
    ASSERT_TRUE(UrlStore(ListFile::PathIn(Dir(t))).Save({{"http://a/\xd6\xd0", "\xd6\xd0\xce\xc4", "5"}}, error));
    WatchSession session;
    ListFile list(Dir(t));
    std::vector<std::string> problems;
    ASSERT_TRUE(list.Load(session, ListFile::Shards::Fold, problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ("中文", session.Row(0).note);
    EXPECT_EQ("http://a/中", session.Row(0).url);
    EXPECT_EQ("中文", StoredText("中文")) << "UTF-8 stays as it is";
}

TEST(ListFile, AListThatCannotBeReadIsNeverWrittenOverButSavedBesideIt) {
    TempDir t;
    const std::string path = ListFile::PathIn(Dir(t));
    WriteFile(path, std::string(8192, 'x'));  // no database
    WatchSession session;
    ListFile list(Dir(t));
    std::vector<std::string> problems;
    EXPECT_FALSE(list.Load(session, ListFile::Shards::Fold, problems));
    EXPECT_FALSE(list.ReadProblem().empty());
    EXPECT_NE(path, list.SaveTarget());
    session.AddRow("http://new/", "", 0);
    std::string told;
    EXPECT_TRUE(list.Save(session, told)) << told;
    EXPECT_EQ(std::string(8192, 'x'), ReadFile(path)) << "the unreadable list is kept as it was";
    std::vector<UrlRow> saved;
    std::string error;
    ASSERT_TRUE(UrlStore(list.SaveTarget()).Load([&](UrlRow&& r) { saved.push_back(r); }, error));
    ASSERT_EQ(1u, saved.size());
    EXPECT_EQ("http://new/", saved[0].url);
}

TEST(ListFile, AShardLoadsItsOwnRowsWithItsOwnStateAndSavesOnlyThat) {
    TempDir t;
    std::vector<UrlRow> rows;
    for (int i = 0; i < 12; ++i) rows.push_back({"http://p/" + std::to_string(i), "", "1"});
    std::string error;
    ASSERT_TRUE(UrlStore(ListFile::PathIn(Dir(t))).Save(rows, error));
    WatchSession session;
    ListFile list(Dir(t), 1, 3);
    std::vector<std::string> problems;
    ASSERT_TRUE(list.Load(session, ListFile::Shards::Read, problems));
    ASSERT_GT(session.RowCount(), 0);
    for (const WatchRow& row : session.Rows()) EXPECT_EQ(1, ShardOf(row.url, 3)) << row.url;
    EXPECT_EQ(ShardStatePath(Dir(t), 1, 3), list.SaveTarget());
    std::string told;
    ASSERT_TRUE(list.Save(session, told)) << told;
    std::vector<UrlRow> listed;
    UrlStore(ListFile::PathIn(Dir(t))).Load([&](UrlRow&& r) { listed.push_back(r); }, error);
    EXPECT_EQ(12u, listed.size()) << "the list is only read while shards run";
}
