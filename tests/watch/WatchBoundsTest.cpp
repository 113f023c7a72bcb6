// sentrel-watch against what hostile pages, servers and files do: each costs its own row a
// bounded time, never another row's probes or a signal's answer, and nothing it writes
// breaks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "WatchFixture.h"
#include "testsupport/HostilePages.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

TEST(WatchBounds, AHostilePageNeverHoldsAnotherPagesProbesOrTheAnswerToSigterm) {
    const std::string slow = SlowPage();
    CountingSite site([&slow](const std::string& path) {
        if (path == "/slow")
            return TestHttpServer::Response(
                "200 OK", "Content-Type: text/html\r\nContent-Length: " + std::to_string(slow.size()) + "\r\n", slow);
        return TestHttpServer::Response("200 OK", "Content-Length: 3\r\n", "abc");
    });
    TestHttpServer& server = site.server;
    Profile p;
    p.List({{server.Url("/tick"), "", "3"}});
    int code = -1;
    p.Run({"--add", server.Url("/slow"), "--compare", "text"}, &code);
    ASSERT_EQ(0, code);
    WriteFile(p.home.File("sentrel.ini"), "interval=1\nfailafter=1\n");
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch}, &fd, p.Env());
    ASSERT_GT(pid, 0);
    std::string line;
    ASSERT_TRUE(ReadLineFrom(fd, line));
    EXPECT_NE(std::string::npos, line.find(" failing " + server.Url("/slow") + " 网页过于复杂")) << line;
    // The next reading of the page is under way: the loop still probes and still answers.
    std::this_thread::sleep_for(1500ms);
    const auto start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    close(fd);
    EXPECT_GE(site.Hits("/tick"), 4) << "about every second while the hostile page was read";
    EXPECT_GE(site.Hits("/slow"), 2);
}

TEST(WatchBounds, TwoRunsWritingOneFeedKeepEveryEventAndAPipeIsNoFeed) {
    RefusingPort refused;
    TempDir pub;
    const std::string feed = pub.File("feed.xml");
    Profile a, b;
    for (Profile* p : {&a, &b}) {
        std::vector<UrlRow> rows;
        for (int i = 0; i < 15; ++i)
            rows.push_back({"http://127.0.0.1:" + std::to_string(refused.Port()) + "/" +
                                std::to_string(p == &a ? i : 100 + i),
                            "", "5"});
        p->List(rows);
    }
    std::thread other([&] {
        int code = -1;
        b.Run({"--once", "--feed", feed}, &code);
    });
    int code = -1;
    a.Run({"--once", "--feed", feed}, &code);
    other.join();
    std::vector<std::string> titles;
    EXPECT_EQ("", AtomProblems(feed, titles));
    EXPECT_EQ(30u, titles.size()) << "each run's fifteen failures";

    const std::string fifo = pub.File("pipe.xml");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("", a.Run({"--once", "--feed", fifo}, &code));
    EXPECT_EQ(2, code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "never waits on the pipe";
}

TEST(WatchBounds, APlainTextPageCannotDriveTheTerminalThroughTheOutput) {
    std::mutex mutex;
    std::string body = "price 1\n";
    TestHttpServer server([&](TestServer::Conn& c, const std::string&, int) {
        std::lock_guard<std::mutex> lock(mutex);
        c.Write(TestHttpServer::Response(
            "200 OK", "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\n", body));
    });
    Profile p;
    p.List({});
    int code = -1;
    p.Run({"--add", server.Url("/t"), "--compare", "text"}, &code);
    p.Run({"--once"}, &code);
    {
        std::lock_guard<std::mutex> lock(mutex);
        body = "\x1b]0;owned\x07price 2\x1b[2J\n";
    }
    const std::string out = p.Run({"--once"}, &code);
    EXPECT_EQ(1, code);
    EXPECT_NE(std::string::npos, out.find("\n    + \\x1b]0;owned\\x07price 2\\x1b[2J\n")) << out;
    EXPECT_EQ(std::string::npos, out.find('\x1b'));
    EXPECT_EQ(std::string::npos, out.find('\x07'));
}

TEST(WatchBounds, AShardOfAnotherCountIsRefusedWhileTheOldShardsRun) {
    Site site;
    Profile p;
    std::vector<UrlRow> rows;
    for (int i = 0; i < 16; ++i) rows.push_back({site.server.Url("/" + std::to_string(i)), "", "100"});
    p.List(rows);  // rows for every shard of two and of three
    WriteFile(p.home.File("sentrel.ini"), "interval=60\n");
    const pid_t old = Spawn({kWatch, "--shard", "0/2"}, p.Env());
    ASSERT_GT(old, 0);
    for (int i = 0; i < 200 && site.server.RequestCount() < 1; ++i) std::this_thread::sleep_for(20ms);
    auto run = [&](const char* shard, std::string& said) {
        int fd = -1;
        const std::string err = p.home.File("stderr.txt");
        const pid_t pid = SpawnReading({kWatch, "--once", "--shard", shard}, &fd, p.Env(), err);
        std::string line;
        while (ReadLineFrom(fd, line)) {
        }
        close(fd);
        const int status = WaitExit(pid, 10s);
        said = ReadFile(err);
        return status;
    };
    std::string said;
    EXPECT_EQ(3, run("1/3", said));
    EXPECT_NE(std::string::npos, said.find("另一组分片（0/2）")) << said;
    EXPECT_EQ(0, run("1/2", said)) << "the same count runs beside it: " << said;
    kill(old, SIGTERM);
    EXPECT_EQ(0, WaitExit(old, 3s));
    EXPECT_EQ(0, run("1/3", said)) << said;
}

TEST(WatchBounds, AListShowsTheIntervalsTheProgramWillUse) {
    Profile p;
    UrlRow hand{"http://127.0.0.1:9/a", "", "0"}, huge{"http://127.0.0.1:9/b", "", "0"};
    hand.interval = "1e9";
    huge.interval = "99999999";
    p.List({hand, huge});
    int code = -1;
    const std::string out = p.Run({"--list", "--json"}, &code);
    EXPECT_EQ(0, code);
    const std::string first = out.substr(0, out.find('\n') + 1);
    EXPECT_NE(std::string::npos, first.find("/a\",")) << out;
    EXPECT_NE(std::string::npos, first.find("\"interval\":null,\"proxy\":null,\"headers\":null,\"session\":null}\n")) << "1e9 is no number of seconds";
    EXPECT_NE(std::string::npos, out.find("\"interval\":31536000,\"proxy\":null,\"headers\":null,\"session\":null}\n")) << out;
}

TEST(WatchBounds, AnUnreadableListIsKeptAndAnAddedPageGoesToARecoveryFileBesideIt) {
    Profile p;
    WriteFile(p.home.File("user.mdb"), std::string(8192, 'x'));
    int code = -1;
    EXPECT_EQ("", p.Run({"--add", "http://127.0.0.1:9/new"}, &code));
    EXPECT_EQ(2, code);
    EXPECT_EQ(std::string(8192, 'x'), ReadFile(p.home.File("user.mdb")));
    std::vector<std::string> recovered;
    for (const auto& entry : std::filesystem::directory_iterator(p.home.Path()))
        if (entry.path().filename().string().rfind("user-", 0) == 0) recovered.push_back(entry.path().string());
    ASSERT_EQ(1u, recovered.size());
    std::vector<UrlRow> rows;
    std::string error;
    ASSERT_TRUE(UrlStore(recovered[0]).Load([&](UrlRow&& r) { rows.push_back(r); }, error)) << error;
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("http://127.0.0.1:9/new", rows[0].url);
}

TEST(WatchBounds, ASlowConditionFailsItsCheckNamingItWhileTheLoopProbesAndAnswers) {
    // 6,000 lines that make a nested repetition backtrack: on /long each line just within
    // PCRE2's bound (6,000 of them pass the change's budget), on /short each line past it.
    std::atomic<int> edition{0};
    CountingSite site([&edition](const std::string& path) {
        if (path == "/tick") return TestHttpServer::Response("200 OK", "Content-Length: 3\r\n", "abc");
        const std::string line = std::string(path == "/long" ? 18 : 30, 'a') + "b\n";
        std::string body = "<pre>";
        for (int i = 0; i < 6000; ++i) body += line;
        body += "</pre><p>Edition " + std::to_string(edition.load()) + "</p>";
        return TestHttpServer::Response(
            "200 OK", "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n", body);
    });
    Profile p;
    p.List({{site.server.Url("/tick"), "", "3"}});
    int code = -1;
    for (const char* path : {"/long", "/short"})
        ASSERT_EQ("", p.Run({"--add", site.server.Url(path), "--compare", "text", "--alert-if", "appears:/(a+)+$/"}, &code));
    EXPECT_EQ("", p.Run({"--once"}, &code)) << "the first texts: nothing to judge";
    ++edition;
    auto start = std::chrono::steady_clock::now();
    const std::string out = p.Run({"--once"}, &code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_EQ(2, code) << out;
    for (const char* path : {"/long", "/short"})
        EXPECT_NE(std::string::npos, out.find(" failing " + site.server.Url(path) + " 提醒条件太慢：appears:/(a+)+$/"))
            << out;
    EXPECT_EQ(std::string::npos, out.find("quiet")) << "never taken as not met";
    // Running: while /long's condition spends its budget, the loop probes and answers.
    WriteFile(p.home.File("sentrel.ini"), "interval=1\nfailafter=1\n");
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch}, &fd, p.Env());
    ASSERT_GT(pid, 0);
    std::string line;
    ASSERT_TRUE(ReadLineFrom(fd, line));
    const int longs = site.Hits("/long"), ticks = site.Hits("/tick");
    for (int i = 0; i < 500 && site.Hits("/long") == longs; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GT(site.Hits("/long"), longs) << "its next check is under way";
    start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    close(fd);
    EXPECT_GT(site.Hits("/tick"), ticks) << "probed while conditions ran";
}
