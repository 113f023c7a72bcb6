// sentrel-watch's features for servers: hooks, the feed and shards, through the program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "WatchFixture.h"
#include "platform/ProfileLock.h"
#include "testsupport/HookReceiver.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

TEST(WatchProgram, HooksGetEveryEventItPrintsAndAPassWaitsForThem) {
    Site site;
    HookReceiver webhook, ntfy, refusing([](int) { return 403; });
    Profile p;
    p.List({{site.server.Url("/news"), "新闻", "40"}, {site.server.Url("/gone"), "", "5"}});
    WriteFile(p.home.File("sentrel.ini"), "webhook=" + webhook.Url() + "\\n" + refusing.Url() +
                                              "\nntfy=" + ntfy.Url("/sentrel") + "\n");
    int code = -1;
    const std::string out = p.Run({"--once", "--json"}, &code);
    EXPECT_EQ(2, code) << "a failing page, and a hook that refused";
    // Every printed event reached the webhook as it was printed, and ntfy as a message.
    std::vector<std::string> bodies;
    for (const HookReceiver::Post& post : webhook.Posts()) bodies.push_back(post.body + "\n");
    std::sort(bodies.begin(), bodies.end());
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at + 1));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, bodies);
    EXPECT_EQ(2u, ntfy.Posts().size());
    EXPECT_EQ(2u, refusing.Posts().size());
    // A change whose hook refused it is an error of the pass; switched off, none is sent.
    p.List({{site.server.Url("/news"), "", "40"}});
    WriteFile(p.home.File("sentrel.ini"), "webhook=" + refusing.Url() + "\n");
    p.Run({"--once"}, &code);
    EXPECT_EQ(2, code) << "the change was told, its hook refused it";
    p.List({{site.server.Url("/news"), "", "40"}});
    WriteFile(p.home.File("sentrel.ini"), "webhook=" + refusing.Url() + "\nbwebhook=0\n");
    p.Run({"--once"}, &code);
    EXPECT_EQ(1, code);
    EXPECT_EQ(3u, refusing.Posts().size());
}


TEST(WatchProgram, AFeedKeepsTheLastHundredEventsAsValidAtomAcrossRuns) {
    Site site;
    Profile p;
    p.List({{site.server.Url("/news"), "新闻 <&>", "40"}, {site.server.Url("/gone"), "", "5"}});
    const std::string feed = p.home.File("public/changes.xml");
    ASSERT_EQ(0, mkdir(p.home.File("public").c_str(), 0755));
    int code = -1;
    p.Run({"--once", "--feed", feed}, &code);
    EXPECT_EQ(2, code);
    std::vector<std::string> titles;
    EXPECT_EQ("", AtomProblems(feed, titles));
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ((std::vector<std::string>{"有更新！ 新闻 <&>", "访问失败 " + site.server.Url("/gone")}),
              titles);
    struct stat st {};
    ASSERT_EQ(0, stat(feed.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777) << "for a web server to read";
    // Another run adds to it, newest first, and no temporary file stays behind.
    site.size = 300;
    p.List({{site.server.Url("/news"), "", "40"}});
    p.Run({"--once", "--feed", feed}, &code);
    titles.clear();
    EXPECT_EQ("", AtomProblems(feed, titles));
    ASSERT_EQ(3u, titles.size());
    EXPECT_EQ("有更新！ " + site.server.Url("/news"), titles[0]);
    const std::string text = ReadFile(feed);
    EXPECT_NE(std::string::npos, text.find("<link rel=\"alternate\" href=\"" + site.server.Url("/news") + "\"/>"));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(p.home.File("public")))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"changes.xml"}, files);
    // At most a hundred entries, the newest.
    p.List(std::vector<UrlRow>(60, UrlRow{site.server.Url("/gone"), "", "5"}));
    for (int run = 0; run < 2; ++run) p.Run({"--once", "--feed", feed}, &code);
    titles.clear();
    EXPECT_EQ("", AtomProblems(feed, titles));
    EXPECT_EQ(100u, titles.size());
    // A file that is no feed is never overwritten.
    WriteFile(p.home.File("notes.txt"), "my notes");
    p.Run({"--once", "--feed", p.home.File("notes.txt")}, &code);
    EXPECT_EQ(2, code);
    EXPECT_EQ("my notes", ReadFile(p.home.File("notes.txt")));
}

TEST(WatchProgram, ThreeShardsProbeEveryPageOfOneListExactlyOnceAndKeepTheirSizesApart) {
    CountingSite site([](const std::string&) {
        return TestHttpServer::Response("200 OK", "Content-Length: 50\r\n", std::string(50, 'x'));
    });
    TestHttpServer& server = site.server;
    Profile p;
    std::vector<UrlRow> rows;
    for (int i = 0; i < 300; ++i) rows.push_back({server.Url("/p" + std::to_string(i)), "", "40"});
    p.List(rows);
    // Three at once on one profile: none is refused for another, and none waits on another.
    std::vector<pid_t> shards;
    std::vector<int> outputs;
    for (const char* shard : {"0/3", "1/3", "2-3"}) {
        int fd = -1;
        shards.push_back(SpawnReading({kWatch, "--once", "--shard", shard}, &fd, p.Env()));
        outputs.push_back(fd);
    }
    std::size_t told = 0;
    for (std::size_t i = 0; i < shards.size(); ++i) {
        std::string line;
        while (ReadLineFrom(outputs[i], line)) told += line.find(" changed ") != std::string::npos;
        close(outputs[i]);
        EXPECT_EQ(1, WaitExit(shards[i], 30s)) << "shard " << i;
    }
    EXPECT_EQ(300u, told);
    {
        const std::map<std::string, int> hits = site.AllHits();
        ASSERT_EQ(300u, hits.size());
        for (const auto& [path, n] : hits) EXPECT_EQ(1, n) << path << " probed by exactly one shard";
    }
    // Each kept its own; the list itself was only read.
    for (const UrlRow& row : p.Stored()) ASSERT_EQ("40", row.kbsize);
    int code = -1;
    const std::string list = p.Run({"--list"}, &code);
    EXPECT_EQ(300, std::count(list.begin(), list.end(), '\n'));
    EXPECT_EQ(std::string::npos, list.find("\t40\t")) << "--list reads what the shards measured";
    // The same shard twice, or the whole list while shards run, is refused.
    {
        ProfileLock shardHeld;
        ASSERT_EQ(ProfileLock::kAcquired, shardHeld.Acquire(p.home.Path() + "/", ProfileLock::Hold::kAlone,
                                                            "sentrel-shard-1-of-3.lock"));
        p.Run({"--once", "--shard", "1/3"}, &code);
        EXPECT_EQ(3, code);
        EXPECT_EQ("", p.Run({"--once", "--shard", "0/3"}, &code)) << "told already";
        EXPECT_EQ(0, code) << "another shard runs beside it";
        ProfileLock aShard;
        ASSERT_EQ(ProfileLock::kAcquired,
                  aShard.Acquire(p.home.Path() + "/", ProfileLock::Hold::kShared));
        p.Run({"--once"}, &code);
        EXPECT_EQ(3, code);
    }
    // The whole list again: the shards' sizes are folded into it, and nothing is told twice.
    EXPECT_EQ("", p.Run({"--once"}, &code));
    EXPECT_EQ(0, code);
    for (const UrlRow& row : p.Stored()) ASSERT_EQ("50", row.kbsize);
    EXPECT_FALSE(std::filesystem::exists(p.home.File("shard-0-of-3.mdb")));
}

