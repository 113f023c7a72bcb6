// sentrel-watch against what hostile pages, servers and files do: each costs its own row a
// bounded time, never another row's probes or a signal's answer, and nothing it writes
// breaks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "HostilePages.h"
#include "WatchFixture.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

TEST(WatchBounds, AHostilePageNeverHoldsAnotherPagesProbesOrTheAnswerToSigterm) {
    const std::string slow = SlowPage();
    std::mutex mutex;
    std::map<std::string, int> hits;
    TestHttpServer server([&](TestServer::Conn& c, const std::string& head, int) {
        const std::string path = head.substr(4, head.find(' ', 4) - 4);
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++hits[path];
        }
        if (path == "/slow")
            c.Write(TestHttpServer::Response(
                "200 OK", "Content-Type: text/html\r\nContent-Length: " + std::to_string(slow.size()) + "\r\n", slow));
        else
            c.Write(TestHttpServer::Response("200 OK", "Content-Length: 3\r\n", "abc"));
    });
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
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_GE(hits["/tick"], 4) << "about every second while the hostile page was read";
    EXPECT_GE(hits["/slow"], 2);
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
