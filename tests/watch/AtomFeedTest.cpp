// The feed on its own: what it writes is always valid XML whatever the events hold, a feed
// it wrote is never refused, writers that share it keep each other's entries, and only a
// regular file is read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "WatchFixture.h"
#include "watch/AtomFeed.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
AlertReport Event(const std::string& url, const std::string& note, std::time_t when) {
    AlertReport r;
    r.kind = EventKind::Changed;
    r.when = when;
    r.url = url;
    r.note = note;
    return r;
}
}  // namespace

TEST(AtomFeed, CharactersXmlForbidsBecomeReplacementCharactersAndTheFeedStaysValid) {
    TempDir dir;
    const std::string path = dir.File("feed.xml");
    AtomFeed feed(path);
    std::string error;
    ASSERT_TRUE(feed.Load(error)) << error;
    AlertReport r = Event("http://a/", "bell\x07 and \xEF\xBF\xBF end", 1700000000);
    r.bText = true;
    r.added = {"line \xEF\xBF\xBE\x01", std::string("nul\0in", 6)};
    feed.Add(r);
    ASSERT_TRUE(feed.Write(error)) << error;
    std::vector<std::string> titles;
    EXPECT_EQ("", AtomProblems(path, titles));
    EXPECT_EQ(std::vector<std::string>{"有更新！ bell\xEF\xBF\xBD and \xEF\xBF\xBD end"}, titles);
    EXPECT_EQ(std::string::npos, ReadFile(path).find("\xEF\xBF\xBF"));
    // The next run takes it, and adds to it.
    AtomFeed again(path);
    ASSERT_TRUE(again.Load(error)) << error;
    again.Add(Event("http://b/", "", 1700000100));
    ASSERT_TRUE(again.Write(error)) << error;
    titles.clear();
    EXPECT_EQ("", AtomProblems(path, titles));
    EXPECT_EQ(2u, titles.size());
    EXPECT_EQ(XmlSafe("a\x1b[2Jb\xEF\xBF\xBE"), "a\xEF\xBF\xBD[2Jb\xEF\xBF\xBD");
}

TEST(AtomFeed, AFeedAnOlderVersionWroteWithForbiddenCharactersIsTakenNotRefused) {
    TempDir dir;
    const std::string path = dir.File("feed.xml");
    WriteFile(path,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
              "  <id>urn:uuid:0f0e0d0c-0b0a-4908-8706-050403020100</id><title>HalvexSentrel</title>"
              "<updated>2026-12-01T10:00:00+08:00</updated><author><name>x</name></author>\n"
              "  <entry><id>urn:uuid:00000000-0000-4000-8000-000000000001</id><title>old \xEF\xBF\xBF\x02</title>"
              "<updated>2026-12-01T10:00:00+08:00</updated><link rel=\"alternate\" href=\"http://old/\"/>"
              "<category term=\"changed\"/><summary>s</summary></entry>\n</feed>\n");
    AtomFeed feed(path);
    std::string error;
    ASSERT_TRUE(feed.Load(error)) << error;
    feed.Add(Event("http://new/", "", std::time(nullptr)));
    ASSERT_TRUE(feed.Write(error)) << error;
    std::vector<std::string> titles;
    EXPECT_EQ("", AtomProblems(path, titles));
    ASSERT_EQ(2u, titles.size());
    EXPECT_EQ("old \xEF\xBF\xBD\xEF\xBF\xBD", titles[1]) << "the old entry kept, last";
    EXPECT_NE(std::string::npos, ReadFile(path).find("urn:uuid:0f0e0d0c-0b0a-4908-8706-050403020100"))
        << "the feed keeps its id";
}

TEST(AtomFeed, WritersThatShareTheFileKeepEachOthersEntriesNewestFirst) {
    TempDir dir;
    const std::string path = dir.File("feed.xml");
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&path, w] {
            AtomFeed feed(path);
            std::string error;
            for (int i = 0; i < 10; ++i) {
                feed.Add(Event("http://w" + std::to_string(w) + "/" + std::to_string(i), "",
                               1700000000 + i * 10 + w));
                EXPECT_TRUE(feed.Write(error)) << error;
            }
        });
    }
    for (std::thread& t : writers) t.join();
    std::vector<std::string> titles;
    EXPECT_EQ("", AtomProblems(path, titles));
    ASSERT_EQ(30u, titles.size()) << "none lost";
    EXPECT_EQ("有更新！ http://w2/9", titles.front());
    EXPECT_EQ("有更新！ http://w0/0", titles.back());
}

TEST(AtomFeed, OnlyARegularFileIsAFeed) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.xml");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    AtomFeed feed(fifo);
    std::string error;
    EXPECT_FALSE(feed.Load(error));
    EXPECT_NE(std::string::npos, error.find("不是普通文件")) << error;
    WriteFile(dir.File("notes.txt"), "my notes");
    AtomFeed notes(dir.File("notes.txt"));
    EXPECT_FALSE(notes.Load(error));
    notes.Add(Event("http://a/", "", 1700000000));
    EXPECT_FALSE(notes.Write(error));
    EXPECT_EQ("my notes", ReadFile(dir.File("notes.txt")));
}
