// The many-page loop: pages on one libcurl multi handle, against servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include "base/ThreadMessages.h"
#include "probe/MultiWatcher.h"
#include "probe/ProbeJob.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

// One loop over the given pages, probed every `interval` tenths of a second.
struct Loop {
    explicit Loop(CMultiWatcher::Options options = {}) : watcher(With(options)) { EXPECT_TRUE(watcher.Open()); }
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
        entry.hMainWnd = target;
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
    std::vector<WatchMessage> told;  // what the pages told, in order, on the loop's thread
    WatchTarget target = std::make_shared<PostTarget<WatchMessage>>([this](WatchMessage m) { told.push_back(m); });
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
            if (m.msg == WM_PAGE_SIZE || m.msg == WM_PROBE_RESULT) {
                EXPECT_EQ(ProbeResult::Size(10), m.result) << stray;
            }
        }
    }
}

namespace {
// A server that holds each answer a while and counts the requests it holds at once.
struct HoldingServer {
    explicit HoldingServer(std::chrono::milliseconds hold)
        : server([this, hold](TestServer::Conn& c, const std::string& head, int) {
              const int now = ++held;
              {
                  std::lock_guard<std::mutex> lock(mutex);
                  peak = std::max(peak, now);
                  times.emplace_back(head.substr(4, head.find(' ', 4) - 4),
                                     std::chrono::steady_clock::now());
              }
              c.Sleep(hold);
              --held;
              c.Write(TestHttpServer::Response("200 OK", "Content-Length: 2\r\n", "ok"));
          }) {}
    int Peak() const {
        std::lock_guard<std::mutex> lock(mutex);
        return peak;
    }
    // When each request for `path` came.
    std::vector<std::chrono::steady_clock::time_point> Times(const std::string& path) const {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::chrono::steady_clock::time_point> out;
        for (const auto& [p, t] : times)
            if (p == path) out.push_back(t);
        return out;
    }
    std::atomic<int> held{0};
    mutable std::mutex mutex;
    int peak = 0;
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> times;
    TestHttpServer server;
};
}  // namespace

TEST(MultiWatcher, RequestsInFlightKeepToBothLimits) {
    struct Case {
        const char* what;
        int maxTransfers, maxPerHost;
        int mostPerServer, peakInAll;  // with three pages on each of two servers
    };
    const Case cases[] = {
        {"no limit reached", 8, 8, 3, 6},
        {"two in flight", 2, 8, 2, 2},  // which two depends on which answer ends first
        {"one per host", 8, 1, 1, 2},
    };
    for (const Case& k : cases) {
        HoldingServer a(300ms), b(300ms);
        CMultiWatcher::Options options;
        options.nMaxTransfers = k.maxTransfers;
        options.nMaxPerHost = k.maxPerHost;
        Loop loop(options);
        for (int i = 0; i < 3; ++i) {
            loop.Add(a.server.Url("/a" + std::to_string(i)), i, 100);
            loop.Add(b.server.Url("/b" + std::to_string(i)), 10 + i, 100);
        }
        int peakInAll = 0;
        ASSERT_TRUE(loop.RunUntil([&] {
            peakInAll = std::max(peakInAll, a.held + b.held);
            EXPECT_LE(loop.watcher.InFlight(), k.maxTransfers) << k.what;
            return loop.told.size() == 6;
        })) << k.what;
        EXPECT_LE(std::max(a.Peak(), b.Peak()), k.mostPerServer) << k.what;
        EXPECT_EQ(k.peakInAll, peakInAll) << k.what;
        loop.watcher.EndAll();
    }
}

TEST(MultiWatcher, PagesComeDueByTheirIntervalsWhileARefusedOneBacksOff) {
    HoldingServer site(0ms);
    RefusingPort refusing;
    Loop loop;  // a second of interval is 100 ms here
    loop.Add(site.server.Url("/every1"), 1, 1);
    loop.Add(site.server.Url("/every3"), 3, 3);
    loop.Add("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", 9, 100);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration refusedAfter{};
    ASSERT_TRUE(loop.RunUntil([&] {
        for (const WatchMessage& m : loop.told)
            if (m.nItem == 9 && refusedAfter == refusedAfter.zero())
                refusedAfter = std::chrono::steady_clock::now() - start;
        return std::chrono::steady_clock::now() - start > 1500ms;
    }));
    loop.watcher.EndAll();
    // The refused page was tried again after the second's back-off, and told once.
    EXPECT_GE(refusedAfter, ProbeJob::WaitTime());
    EXPECT_LT(refusedAfter, 1500ms);
    const auto failed = std::find_if(loop.told.begin(), loop.told.end(),
                                     [](const WatchMessage& m) { return m.nItem == 9; });
    ASSERT_NE(loop.told.end(), failed);
    EXPECT_EQ(ProbeResult::Failed(NetFailure::Refused), failed->result);
    // Meanwhile the others were probed at once, then every 100 and every 300 ms, give or
    // take the twentieth that spreads pages of one interval.
    for (const auto& [path, gap] : {std::pair{"/every1", 100ms}, std::pair{"/every3", 300ms}}) {
        const auto times = site.Times(path);
        ASSERT_GE(times.size(), 1500ms / gap - 2) << path;
        EXPECT_LT(times.front() - start, 100ms) << path;
        for (std::size_t i = 1; i < times.size(); ++i)
            EXPECT_GE(times[i] - times[i - 1], gap * 95 / 100 - 5ms) << path << " probe " << i;
    }
}

TEST(MultiWatcher, PagesInTheirBackOffHoldNoHandleAndEveryOneIsToldOnce) {
    // Five hundred refused pages back off together: their retries take handles again, no
    // more are kept than requests may run at once, and each page is told once.
    RefusingPort refusing;
    CMultiWatcher::Options options;
    options.nMaxTransfers = 8;
    options.bOnce = true;
    Loop loop(options);
    for (int i = 0; i < 500; ++i)
        loop.Add("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/" + std::to_string(i), i, 100);
    std::size_t mostHandles = 0;
    ASSERT_TRUE(loop.RunUntil([&] {
        mostHandles = std::max(mostHandles, loop.watcher.Handles());
        return loop.watcher.LivePages() == 0;
    }, 20s));
    EXPECT_LE(mostHandles, 8u);
    std::vector<int> refused;
    for (const WatchMessage& m : loop.told)
        if (m.msg == WM_PAGE_SIZE && m.result == ProbeResult::Failed(NetFailure::Refused)) refused.push_back(m.nItem);
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(500u, refused.size());
    EXPECT_EQ(refused.end(), std::adjacent_find(refused.begin(), refused.end()));
}
