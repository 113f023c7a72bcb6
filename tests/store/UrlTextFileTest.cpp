// Import and export of URL list text files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"
#include "UrlTextFile.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::vector<std::string> Import(const std::string& content, int* count = nullptr) {
    TempDir dir;
    WriteFile(dir.File("in.txt"), content);
    std::vector<std::string> urls;
    UrlFileResult r =
        ImportUrlFile(dir.File("in.txt"), [&](std::string&& u) { urls.push_back(u); });
    EXPECT_TRUE(r.bOk);
    EXPECT_EQ(static_cast<int>(urls.size()), r.nCount);
    if (count) *count = r.nCount;
    return urls;
}

using V = std::vector<std::string>;

}  // namespace

TEST(UrlImport, LineRules) {
    struct Case {
        const char* name;
        std::string content;
        V expected;
    } cases[] = {
        {"LF", "http://a/\nhttp://b/\n", {"http://a/", "http://b/"}},
        {"CR LF", "http://a/\r\nhttp://b/\r\n", {"http://a/", "http://b/"}},
        {"CR CR LF", "http://a/\r\r\nhttp://b/\r\r\n", {"http://a/", "http://b/"}},
        {"last line without end", "http://a/\nhttp://b/", {"http://a/", "http://b/"}},
        {"first line empty", "\nhttp://a/\n", {}},
        {"empty line ends the data", "a\nb\nc\n\nd\ne\n", {"a", "b", "c"}},
        {"CR LF empty line ends it too", "a\r\n\r\nb\r\n", {"a"}},
        {"blank-only lines are skipped", "a\n \t \nb\n\r\r\nc", {"a", "b", "c"}},
        {"trimmed both ends", " \t http://a/ x \v\f\n", {"http://a/ x"}},
        {"tab inside stays", "http://a/\tmy note\n", {"http://a/\tmy note"}},
        {"Ctrl-Z ends the data", "a\nb\x1a\nc\n", {"a", "b"}},
        {"byte-order mark kept",
         "\xEF\xBB\xBFhttp://a/\nhttp://b/\n",
         {"\xEF\xBB\xBFhttp://a/", "http://b/"}},
        {"duplicates kept", "a\na\n", {"a", "a"}},
        {"lone CR stays inside", "a\rb\n", {"a\rb"}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Import(c.content)) << c.name;
}

TEST(UrlImport, VeryLongLinesAndManyLines) {
    std::string longUrl = "http://x/" + std::string(200000, 'p');
    EXPECT_EQ(V{longUrl}, Import(longUrl + "\r\n"));
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "http://h/" + std::to_string(i) + "\r\n";
    int count = 0;
    auto urls = Import(many, &count);
    EXPECT_EQ(100000, count);
    EXPECT_EQ("http://h/99999", urls.back());
}

TEST(UrlImport, UnreadableFileChangesNothing) {
    TempDir dir;
    int calls = 0;
    UrlFileResult r = ImportUrlFile(dir.File("nope.txt"), [&](std::string&&) { ++calls; });
    EXPECT_FALSE(r.bOk);
    EXPECT_FALSE(r.bOpened);
    EXPECT_NE(std::string::npos, r.strError.find("No such file"));
    EXPECT_EQ(0, calls);

    // A directory opens but cannot be read: an error part-way, nothing imported.
    r = ImportUrlFile(dir.Path(), [&](std::string&&) { ++calls; });
    EXPECT_FALSE(r.bOk);
    EXPECT_EQ(0, calls);
}

TEST(UrlExport, WritesEachUrlWithCrLfAndRoundTrips) {
    TempDir dir;
    V urls = {"http://a/%d%s%n", "http://例子/", "http://b/\tx", "http://a/%d%s%n"};
    UrlFileResult r = ExportUrlFile(dir.File("out.txt"), urls);
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(4, r.nCount);
    EXPECT_EQ("http://a/%d%s%n\r\nhttp://例子/\r\nhttp://b/\tx\r\nhttp://a/%d%s%n\r\n",
              ReadFile(dir.File("out.txt")));
    EXPECT_EQ(urls, Import(ReadFile(dir.File("out.txt"))));
}

TEST(UrlExport, TruncatesAnExistingFile) {
    TempDir dir;
    WriteFile(dir.File("out.txt"), std::string(1000, 'z'));
    ASSERT_TRUE(ExportUrlFile(dir.File("out.txt"), {"u"}).bOk);
    EXPECT_EQ("u\r\n", ReadFile(dir.File("out.txt")));
}

TEST(UrlExport, FailuresAreReported) {
    TempDir dir;
    UrlFileResult r = ExportUrlFile(dir.File("no/such/dir/out.txt"), {"u"});
    EXPECT_FALSE(r.bOpened);
    EXPECT_FALSE(r.bOk);

    // /dev/full accepts the open and fails the writes, as a full disk does.
    struct stat st {};
    if (stat("/dev/full", &st) == 0) {
        r = ExportUrlFile("/dev/full", V(5000, std::string(100, 'u')));
        EXPECT_TRUE(r.bOpened);
        EXPECT_FALSE(r.bOk);
        EXPECT_NE(std::string::npos, r.strError.find("No space"));
    }
}
