// Text rows' kept texts and versions in a real SQLite file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "StoreSql.h"
#include "content/LineDiff.h"
#include "store/TextStore.h"
#include "store/UrlStore.h"
#include "store/WatchList.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(TextStore, APagesLastTwoTextsAreKeptBoundedAndGoWithItsRow) {
    TempDir dir;
    TextStore store(dir.File("user.mdb"));
    std::string error;
    PageTexts texts;
    ASSERT_TRUE(store.LoadTexts("http://a/", texts, error)) << error;
    EXPECT_EQ(0, texts.lastTime) << "none kept yet";
    ASSERT_TRUE(store.KeepText("http://a/", "one\n", 100, {}, error)) << error;
    ASSERT_TRUE(store.KeepText("http://a/", "two\n", 200, {}, error)) << error;
    std::string huge;
    while (huge.size() <= content::kMaxKeptText) huge += "a line of the page\n";
    ASSERT_TRUE(store.KeepText("http://b/", huge, 300, {}, error)) << error;
    ASSERT_TRUE(store.LoadTexts("http://a/", texts, error));
    EXPECT_EQ("two\n", texts.last);
    EXPECT_EQ(200, texts.lastTime);
    EXPECT_EQ("one\n", texts.previous);
    EXPECT_EQ(100, texts.previousTime);
    ASSERT_TRUE(store.LoadTexts("http://b/", texts, error));
    EXPECT_LE(texts.last.size(), content::kMaxKeptText);
    EXPECT_EQ('\n', texts.last.back()) << "cut after a whole line";
    // One line longer than the bound is kept cut, not dropped.
    ASSERT_TRUE(store.KeepText("http://c/", std::string(1500000, 'x') + "\n", 300, {}, error)) << error;
    ASSERT_TRUE(store.LoadTexts("http://c/", texts, error));
    EXPECT_EQ(content::kMaxKeptText, texts.last.size());
    EXPECT_EQ('\n', texts.last.back());
    ASSERT_TRUE(UrlStore(store.Path()).Save({{"http://a/", "", "4"}}, error)) << error;
    ASSERT_TRUE(store.LoadTexts("http://b/", texts, error));
    EXPECT_EQ("", texts.last) << "the texts of a deleted row go with it";
    ASSERT_TRUE(store.LoadTexts("http://a/", texts, error));
    EXPECT_EQ("two\n", texts.last);
}

namespace {
// A page of `lines` numbered lines, with line `changed` reading `word`.
std::string Page(int lines, int changed, const std::string& word) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "line " + std::to_string(i) + (i == changed ? " " + word : " of the page") + "\n";
    return text;
}
}  // namespace

TEST(TextStore, VersionsAreKeptToTheirDepthNewestLastAndEachReadsBackExactly) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    std::string error;
    ASSERT_TRUE(UrlStore(path).Save({{"http://a/", "", "4"}, {"http://b/", "", "4"}}, error));
    // 40 versions, depth 30: the keyframes and deltas between them all read back.
    std::vector<std::string> texts;
    for (int i = 0; i < 40; ++i) {
        texts.push_back(Page(200, i % 7, "v" + std::to_string(i)));
        VersionNote note;
        note.kind = i == 0 ? VersionKind::First : i % 3 ? VersionKind::Told : VersionKind::Quiet;
        note.because = note.kind == VersionKind::Told ? "added:v" : "";
        note.nAdded = note.nRemoved = i == 0 ? 0 : 1;
        note.depth = 30;
        // Each through a new store: as a restart would read them.
        ASSERT_TRUE(TextStore(path).KeepText("http://a/", texts.back(), 1000 + i, note, error)) << error;
    }
    ASSERT_TRUE(TextStore(path).KeepText("http://b/", "other\n", 5, {}, error));
    TextStore store(path);
    std::vector<TextVersion> versions;
    ASSERT_TRUE(store.Versions("http://a/", versions, error)) << error;
    ASSERT_EQ(30u, versions.size());
    for (int n = 1; n <= 30; ++n) {
        const TextVersion& v = versions[n - 1];
        const int i = n + 9;  // the oldest ten went
        EXPECT_EQ(n, v.n);
        EXPECT_EQ(1000 + i, v.time);
        EXPECT_EQ(static_cast<long long>(texts[i].size()), v.nSize);
        EXPECT_EQ(i % 3 ? VersionKind::Told : VersionKind::Quiet, v.kind) << n;
        EXPECT_EQ(i % 3 ? "added:v" : "", v.because);
        std::string text;
        ASSERT_TRUE(store.VersionText("http://a/", n, text, error)) << n << error;
        EXPECT_EQ(texts[i], text) << n;
    }
    std::string text;
    for (int n : {0, 31, -1}) {
        EXPECT_FALSE(store.VersionText("http://a/", n, text, error)) << n;
        EXPECT_NE(std::string::npos, error.find(std::to_string(n))) << error;
    }
    EXPECT_FALSE(store.VersionText("http://nowhere/", 1, text, error));
    // The number change:P% measures from is kept with them.
    double base = 0;
    bool have = true;
    ASSERT_TRUE(store.AlertBase("http://a/", base, have, error));
    EXPECT_FALSE(have);
    VersionNote told;
    told.bNewBase = true;
    told.base = 12.5;
    ASSERT_TRUE(store.KeepText("http://a/", "12,5\n", 2000, told, error));
    ASSERT_TRUE(store.KeepText("http://a/", "13\n", 2001, {}, error));
    ASSERT_TRUE(store.AlertBase("http://a/", base, have, error));
    EXPECT_TRUE(have);
    EXPECT_EQ(12.5, base);
    // A removed row's versions go with it.
    ASSERT_TRUE(UrlStore(store.Path()).Save({{"http://a/", "", "4"}}, error));
    ASSERT_TRUE(store.Versions("http://b/", versions, error));
    EXPECT_TRUE(versions.empty());
}

TEST(TextStore, ThirtyVersionsOfATwoMegabytePageCostTheirChangedLines) {
    // A few lines a version, near each other or far apart (more lines between them than an
    // exact diff takes): each older version is kept as the lines that make it.
    for (const bool farApart : {false, true}) {
        SCOPED_TRACE(farApart ? "far apart" : "near");
        TempDir dir;
        const std::string path = dir.File("user.mdb");
        TextStore store(path);
        std::string error;
        ASSERT_TRUE(UrlStore(store.Path()).Save({{"http://big/", "", "4"}}, error));
        const int lines = 2 * 1024 * 1024 / 60;
        for (int i = 0; i < 30; ++i) {
            std::string page;
            page.reserve(2 * 1024 * 1024 + 100);
            for (int l = 0; l < lines; ++l) {
                const bool edited = farApart ? (l == 100 || l == 4000 || l == 9000)
                                             : l % 3 == i % 3 && l % 40000 == i;
                page += "row " + std::to_string(l) + ": a line of a long price list, item ";
                page += std::to_string(edited ? 9000 + i : l % 1000) + "\n";
            }
            ASSERT_TRUE(store.KeepText("http://big/", page, 100 + i, {}, error)) << error;
        }
        const auto bytes = std::filesystem::file_size(path);
        EXPECT_LT(bytes, 25u * 1024 * 1024);
        std::printf("30 versions of a 2 MB page (%s): %.1f MB\n", farApart ? "far apart" : "near", bytes / 1048576.0);
        std::vector<TextVersion> versions;
        ASSERT_TRUE(store.Versions("http://big/", versions, error));
        EXPECT_EQ(30u, versions.size());
        for (const TextVersion& v : versions) EXPECT_LE(v.nSize, static_cast<long long>(content::kMaxKeptText));
        std::string text;
        ASSERT_TRUE(store.VersionText("http://big/", 1, text, error)) << error;
        EXPECT_NE(std::string::npos, text.find("item 9000\n")) << "the oldest, rebuilt";
    }
}

TEST(TextStore, APageRewrittenAtEveryProbeKeepsWithinItsSizeAndSaysSoOnce) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    std::string error;
    ASSERT_TRUE(UrlStore(path).Save({{"http://new/", "", "4"}}, error));
    std::vector<std::string> told;
    StoreTextKeeper keeper(path, [&told](const std::string& text) { told.push_back(text); });
    std::vector<std::string> texts;
    for (int i = 0; i < 12; ++i) {
        std::string text;
        for (int l = 0; l < 4000; ++l) text += "version " + std::to_string(i) + " line " + std::to_string(l * 7919 + i) + "\n";
        texts.push_back(text);  // ~100 KB, nothing in common with the one before
        keeper.KeepVersion("http://new/", text, 100 + i, [](const PreviousText&, VersionNote& note) {
            note.maxBytes = 350 * 1024;
            return true;
        });
    }
    ASSERT_EQ(1u, told.size()) << "said once";
    EXPECT_NE(std::string::npos, told[0].find("http://new/")) << told[0];
    TextStore store(path);
    std::vector<TextVersion> versions;
    ASSERT_TRUE(store.Versions("http://new/", versions, error));
    ASSERT_EQ(3u, versions.size()) << "the newest that fit";
    long long total = 0;
    for (int n = 1; n <= 3; ++n) {
        std::string text;
        ASSERT_TRUE(store.VersionText("http://new/", n, text, error)) << error;
        EXPECT_EQ(texts[static_cast<std::size_t>(8 + n)], text);
        total += versions[static_cast<std::size_t>(n - 1)].nSize;
    }
    EXPECT_LE(total, 350 * 1024);
}

TEST(TextStore, AVersionWhoseTextCannotBeRebuiltAsKeptIsDamagedNotShown) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    TextStore store(path);
    std::string error;
    ASSERT_TRUE(UrlStore(store.Path()).Save({{"http://a/", "", "4"}}, error));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.KeepText("http://a/", Page(200, 5, "v" + std::to_string(i)), 10 + i, {}, error));
    std::string text;
    ASSERT_TRUE(store.VersionText("http://a/", 1, text, error)) << error;
    // A delta altered by hand still applies, and makes another text of the same size.
    Sql(path, "UPDATE T_VERSION SET body = CAST(replace(CAST(body AS TEXT), 'v0', 'w0') AS BLOB) WHERE seq = 1");
    EXPECT_FALSE(store.VersionText("http://a/", 1, text, error));
    EXPECT_NE(std::string::npos, error.find("已损坏")) << error;
    EXPECT_TRUE(text.empty()) << "nothing shown of it";
    // A version of an earlier program has no hash: its size still tells.
    Sql(path, "UPDATE T_VERSION SET hash = NULL; "
              "UPDATE T_VERSION SET body = CAST(replace(CAST(body AS TEXT), 'w0', 'long w0') AS BLOB) WHERE seq = 1");
    EXPECT_FALSE(store.VersionText("http://a/", 1, text, error));
    ASSERT_TRUE(store.VersionText("http://a/", 2, text, error)) << "the others read as ever: " << error;
    EXPECT_EQ(Page(200, 5, "v1"), text);
}

TEST(TextStore, AnEarlierStoresLastTwoTextsBecomeItsFirstVersionsAndAShardsComeAfterTheListsOwn) {
    TempDir dir;
    const std::string path = dir.File("user.mdb");
    std::string error;
    ASSERT_TRUE(UrlStore(path).Save({{"http://a/", "", "4"}}, error));
    Sql(path,
        "DROP TABLE IF EXISTS T_TEXT; DROP TABLE IF EXISTS T_VERSION;"
        "CREATE TABLE T_TEXT (url TEXT PRIMARY KEY, last TEXT, lasttime INTEGER, prev TEXT, prevtime INTEGER);"
        "INSERT INTO T_TEXT VALUES ('http://a/', 'two\n', 20, 'one\n', 10)");
    TextStore store(path);
    std::vector<TextVersion> versions;
    ASSERT_TRUE(store.Versions("http://a/", versions, error)) << error;
    ASSERT_EQ(2u, versions.size());
    EXPECT_EQ(10, versions[0].time);
    EXPECT_EQ(-1, versions[1].nAdded) << "not known";
    std::string text;
    ASSERT_TRUE(store.VersionText("http://a/", 2, text, error));
    EXPECT_EQ("two\n", text);
    // A shard's versions follow the list's, its newest text the last.
    const std::string shard = dir.File("shard-0-of-2.mdb");
    ASSERT_TRUE(TextStore(shard).KeepText("http://a/", "three\n", 30, {}, error));
    ASSERT_TRUE(TextStore(shard).KeepText("http://a/", "four\n", 40, {}, error));
    ASSERT_TRUE(TextStore(shard).KeepText("http://gone/", "x\n", 40, {}, error));
    ASSERT_TRUE(store.TakeTexts(shard, error)) << error;
    ASSERT_TRUE(store.Versions("http://a/", versions, error));
    ASSERT_EQ(4u, versions.size());
    const std::vector<std::string> all = {"one\n", "two\n", "three\n", "four\n"};
    for (int n = 1; n <= 4; ++n) {
        ASSERT_TRUE(store.VersionText("http://a/", n, text, error)) << error;
        EXPECT_EQ(all[n - 1], text);
    }
    ASSERT_TRUE(store.Versions("http://gone/", versions, error));
    EXPECT_TRUE(versions.empty()) << "only the list's pages";
}
