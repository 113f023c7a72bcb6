// The many-page loop: pages on one libcurl multi handle, against servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>

#include "MultiWatcher.h"
#include "TestServer.h"
#include "ThreadMessages.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

// One loop over the given pages, probed every `interval` tenths of a second.
struct Loop {
    explicit Loop(CMultiWatcher::Options options = {})
        : watcher(With(options), [this](const WatchMessage& m) { told.push_back(m); }) {
        EXPECT_TRUE(watcher.Open());
    }
    static CMultiWatcher::Options With(CMultiWatcher::Options o) {
        o.second = 100ms;
        return o;
    }
    void Add(const std::string& url, int nWatch, int interval = 1) {
        WatchEntry entry;
        entry.nItem = nWatch;
        entry.nInterval = interval;
        entry.szUrl = url;
        entry.pszRunFlag = flag;
        ASSERT_TRUE(watcher.Add(std::move(entry)));
    }
    // Turns the loop until `done` holds or `bound` passes.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = 10s) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            watcher.Turn(50ms);
        }
        return true;
    }
    std::vector<WatchMessage> told;  // what the pages told, in order
    RunFlagPtr flag = std::make_shared<CRunFlag>("RUN");
    CMultiWatcher watcher;
};

}  // namespace

TEST(MultiWatcher, BytesThatArriveOnAKeptConnectionBetweenProbesAreNeverTheNextAnswer) {
    const char* strays[] = {"HTTP/1.1 200 OK\r\nContent-Length: 77777\r\n\r\n", "late body bytes",
                            "\r\n"};
    for (const std::string stray : strays) {
        TestHttpServer server([&stray](TestServer::Conn& c, const std::string&, int) {
            c.Write(TestHttpServer::Response("200 OK", "Content-Length: 10\r\n", "0123456789"));
            if (c.Sleep(5ms)) c.Write(stray);
        });
        Loop loop;
        loop.Add(server.Url("/"), 1);
        ASSERT_TRUE(loop.RunUntil([&] { return server.RequestCount() >= 5; })) << stray;
        loop.watcher.EndAll();
        for (const WatchMessage& m : loop.told) {
            if (m.msg == WM_PAGE_SIZE || m.msg == WM_PROBE_RESULT)
                EXPECT_EQ(ProbeResult::Size(10), m.result) << stray;
        }
    }
}
