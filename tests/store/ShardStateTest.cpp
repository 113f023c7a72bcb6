// Shards' state files beside the list: which shard a page falls to, how a state is taken
// back, and files that cannot be read, which never stop a shard or a fold.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Files.h"
#include "store/ShardState.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(ShardState, ShardNamesAreReadWithinTheirBounds) {
    struct Case {
        const char* text;
        bool ok;
        int index, count;
    } cases[] = {{"0/2", true, 0, 2},  {"1-3", true, 1, 3},   {"999/1000", true, 999, 1000},
                 {"2/2", false, 0, 0}, {"0/0", false, 0, 0},  {"0/1001", false, 0, 0},
                 {"1/", false, 0, 0},  {" 0/2", false, 0, 0}, {"0/2x", false, 0, 0}};
    for (const Case& c : cases) {
        int index = 0, count = 0;
        EXPECT_EQ(c.ok, ParseShard(c.text, index, count)) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(c.index, c.count), std::make_pair(index, count)) << c.text;
        }
    }
    for (int count : {1, 2, 7})
        for (const char* url : {"http://a/", "https://例子.测试/路径"}) {
            EXPECT_EQ(ShardOf(url, count), ShardOf(url, count));
            EXPECT_LT(ShardOf(url, count), count);
        }
}

TEST(ShardState, AStateGoesToRowsOfItsUrlComparedAlikeInOrder) {
    std::vector<UrlRow> list = {{"http://a/", "", "1"}, {"http://a/", "", "2"}, {"http://b/", "", "3"},
                                {"http://c/", "", "4"}};
    list[3].compare = "text";
    std::vector<UrlRow> state = {{"http://a/", "", "10", "\"e\""}, {"http://a/", "", "20"},
                                 {"http://c/", "", "40"},  // a size row's state: c is text now
                                 {"http://gone/", "", "99"}};
    TakeState(list, state);
    EXPECT_EQ("10", list[0].kbsize);
    EXPECT_EQ("\"e\"", list[0].etag);
    EXPECT_EQ("20", list[1].kbsize);
    EXPECT_EQ("3", list[2].kbsize) << "no state of its own";
    EXPECT_EQ("4", list[3].kbsize) << "another way of comparing says nothing";
}

TEST(ShardState, AFileThatCannotBeReadIsPassedOverAndSetAsideAtTheFold) {
    TempDir dir;
    const std::string own = ShardStatePath(dir.Path(), 0, 2), broken = ShardStatePath(dir.Path(), 1, 3);
    std::string error;
    ASSERT_TRUE(UrlStore(own).Save({{"http://a/", "", "77"}}, error)) << error;
    WriteFile(broken, std::string(4096, 'x'));  // no database
    // The broken file is the older one: it was read first, and stopped the reading.
    std::filesystem::last_write_time(broken, std::filesystem::last_write_time(own) - std::chrono::hours(1));
    std::vector<UrlRow> rows = {{"http://a/", "", "5"}};
    const std::vector<std::string> problems = ReadShardStates(dir.Path(), rows, 0, 2);
    ASSERT_EQ(1u, problems.size());
    EXPECT_NE(std::string::npos, problems[0].find("shard-1-of-3.mdb")) << problems[0];
    EXPECT_EQ("77", rows[0].kbsize) << "the shard's own state is read all the same";

    const UrlStore list(dir.File("user.mdb"));
    ASSERT_TRUE(list.Save({{"http://a/", "", "5"}}, error));
    std::vector<std::string> folded;
    ASSERT_TRUE(FoldShardStates(dir.Path(), list, error, folded)) << error;
    ASSERT_EQ(1u, folded.size());
    EXPECT_NE(std::string::npos, folded[0].find("shard-1-of-3.mdb.bad")) << folded[0];
    std::vector<UrlRow> stored;
    list.Load([&](UrlRow&& r) { stored.push_back(r); }, error);
    EXPECT_EQ("77", stored.at(0).kbsize);
    EXPECT_EQ(fs::Kind::kMissing, fs::KindOf(own));
    EXPECT_EQ(fs::Kind::kMissing, fs::KindOf(broken)) << "out of the way of the next fold";
    EXPECT_EQ(fs::Kind::kFile, fs::KindOf(broken + ".bad"));
    folded.clear();
    EXPECT_TRUE(FoldShardStates(dir.Path(), list, error, folded));
    EXPECT_TRUE(folded.empty());
}
