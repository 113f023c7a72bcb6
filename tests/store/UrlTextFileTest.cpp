// Import and export of URL list text files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "store/UrlTextFile.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::vector<std::string> Import(const std::string& content, int* count = nullptr) {
    TempDir dir;
    WriteFile(dir.File("in.txt"), content);
    std::vector<std::string> urls;
    UrlFileResult r =
        ImportUrlFile(dir.File("in.txt"), [&](std::string&& u) { urls.push_back(u); });
    EXPECT_TRUE(r.Ok());
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
        {"UTF-8 byte-order mark dropped",
         "\xEF\xBB\xBFhttp://a/\nhttp://b/\n",
         {"http://a/", "http://b/"}},
        {"a mark only counts at the start",
         "a\n\xEF\xBB\xBF"
         "b\n",
         {"a",
          "\xEF\xBB\xBF"
          "b"}},
        {"UTF-16 LE with its mark",
         std::string("\xFF\xFEh\0t\0\r\0\n\0\x91\x65\n\0", 14),
         {"ht", "\xE6\x96\x91"}},
        {"UTF-16 BE with its mark",
         std::string("\xFE\xFF\0a\0\n\xD8\x3D\xDE\x00\0\n", 12),
         {"a", "\xF0\x9F\x98\x80"}},
        {"duplicates kept", "a\na\n", {"a", "a"}},
        {"lone CR stays inside", "a\rb\n", {"a\rb"}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Import(c.content)) << c.name;
}

TEST(UrlImport, VeryLongLinesAndManyLines) {
    // A line up to 64 KB is a URL; a longer one is skipped, and the import goes on.
    std::string longest = "http://x/" + std::string(kMaxImportLine - 9, 'p');
    std::string tooLong = longest + "p";
    EXPECT_EQ(V{longest}, Import(longest + "\r\n"));
    EXPECT_EQ((V{"a", "b"}), Import("a\n" + tooLong + "\nb\n"));
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
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(FileOutcome::NotOpened, r.outcome);
    EXPECT_NE(std::string::npos, r.reason.find("No such file"));
    EXPECT_EQ(0, calls);

    // A directory opens but cannot be read: an error part-way, nothing imported.
    r = ImportUrlFile(dir.Path(), [&](std::string&&) { ++calls; });
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(0, calls);
}

TEST(UrlExport, WritesEachUrlWithCrLfAndRoundTrips) {
    TempDir dir;
    V urls = {"http://a/%d%s%n", "http://例子/", "http://b/\tx", "http://a/%d%s%n"};
    UrlFileResult r = ExportUrlFile(dir.File("out.txt"), urls);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(4, r.nCount);
    EXPECT_EQ("http://a/%d%s%n\r\nhttp://例子/\r\nhttp://b/\tx\r\nhttp://a/%d%s%n\r\n",
              ReadFile(dir.File("out.txt")));
    EXPECT_EQ(urls, Import(ReadFile(dir.File("out.txt"))));
}

TEST(UrlExport, TruncatesAnExistingFile) {
    TempDir dir;
    WriteFile(dir.File("out.txt"), std::string(1000, 'z'));
    ASSERT_TRUE(ExportUrlFile(dir.File("out.txt"), {"u"}).Ok());
    EXPECT_EQ("u\r\n", ReadFile(dir.File("out.txt")));
}

TEST(UrlExport, FailuresAreReported) {
    TempDir dir;
    UrlFileResult r = ExportUrlFile(dir.File("no/such/dir/out.txt"), {"u"});
    EXPECT_EQ(FileOutcome::NotOpened, r.outcome);
    EXPECT_FALSE(r.Ok());

    // /dev/full accepts the open and fails the writes, as a full disk does.
    struct stat st {};
    if (stat("/dev/full", &st) == 0) {
        r = ExportUrlFile("/dev/full", V(5000, std::string(100, 'u')));
        EXPECT_NE(FileOutcome::NotOpened, r.outcome);
        EXPECT_FALSE(r.Ok());
        EXPECT_NE(std::string::npos, r.reason.find("No space"));
        ASSERT_EQ(0, stat("/dev/full", &st));
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "a device is written to, never replaced";
    }
}

#ifndef _WIN32  // file size limits and links as POSIX has them
TEST(UrlExport, AFailedExportLeavesTheOldFileWhole) {
    // A file size limit fails the writes part-way, as a full disk does.
    TempDir dir;
    const std::string path = dir.File("list.txt");
    WriteFile(path, "http://old/\r\n");
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    UrlFileResult r = ExportUrlFile(path, V(5000, std::string(100, 'u')));
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ("http://old/\r\n", ReadFile(path));
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.Path()),
                                std::filesystem::directory_iterator()))
        << "no temporary file left behind";

    // Through a link: the link stays, the file it names gets the list.
    const std::string link = dir.File("link.txt");
    ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));
    ASSERT_TRUE(ExportUrlFile(link, {"http://new/"}).Ok());
    EXPECT_EQ("http://new/\r\n", ReadFile(path));
    struct stat st {};
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

#endif

TEST(UrlImport, OnlyRegularFilesAndABoundedNumberOfRows) {
    int count = 0;
    TempDir dir;
#ifdef _WIN32
    UrlFileResult r = ImportUrlFile("NUL", [&](std::string&&) { ++count; });
    EXPECT_EQ(FileOutcome::NotOpened, r.outcome) << "a device is refused";
#else
    UrlFileResult r = ImportUrlFile("/dev/zero", [&](std::string&&) { ++count; });
    EXPECT_EQ(FileOutcome::NotOpened, r.outcome);
    EXPECT_EQ(0, count);
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    r = ImportUrlFile(fifo, [&](std::string&&) { ++count; });  // no writer: must not wait
    EXPECT_EQ(FileOutcome::NotOpened, r.outcome) << "a pipe is refused, not read for ever";
    EXPECT_NE(std::string::npos, r.reason.find("不是普通文件"));
#endif

    std::string rows;
    for (int i = 0; i < kMaxImportRows + 5; ++i) rows += "u" + std::to_string(i) + "\n";
    WriteFile(dir.File("many.txt"), rows);
    r = ImportUrlFile(dir.File("many.txt"), [&](std::string&&) { ++count; });
    EXPECT_EQ(kMaxImportRows, r.nCount);
    EXPECT_EQ(kMaxImportRows, count);
    EXPECT_EQ(5, r.nSkipped);
}

TEST(UrlFields, ARowStaysOneLineOfAListFile) {
    struct Case {
        const char* in;
        const char* url;
        const char* note;
    } cases[] = {
        {"http://a/\r\nhttp://b/", "http://a/http://b/", "http://a/ http://b/"},
        {"  http://a/?q=1\t\n", "http://a/?q=1", "  http://a/?q=1\t "},
        {"x\ry\nz\x7f", "xyz", "x y z\x7f"},
        {" \t\r\n ", "", " \t  "},
        {"http://例子.中国/路径", "http://例子.中国/路径", "http://例子.中国/路径"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.url, CleanUrlText(c.in)) << c.in;
        EXPECT_EQ(c.note, CleanNoteText(c.in)) << c.in;
    }
}
