// sentrel-watch against what hostile pages, servers and files do: each costs its own row a
// bounded time, never another row's probes or a signal's answer, and nothing it writes
// breaks.
#include <gtest/gtest.h>
#include <signal.h>
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
