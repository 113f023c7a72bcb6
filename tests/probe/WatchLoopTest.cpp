// The watch loop with a scripted probe, so that ticks can be short and sizes exact.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/ThreadMessages.h"
#include "probe/MultiWatcher.h"
#include "probe/ProbeSpacing.h"
#include "probe/ResultFilter.h"
#include "probe/WatchThread.h"
#include "testsupport/PostRecorder.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;
using Msg = PostRecorder<WatchMessage>::Msg;

namespace {

// Probes return the scripted sizes in turn; when they run out the run's flag turns to STOP.
class ScriptedWatch : public CWatchThread {
  public:
    ScriptedWatch(std::vector<int> sizes, bool sessionOk = true)
        : m_sizes(std::move(sizes)), m_bSessionOk(sessionOk) {}
    bool OpenSession() override { return m_bSessionOk; }
    ProbeResult Probe(const char*) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_probeTimes.push_back(std::chrono::steady_clock::now());
        int size = m_sizes.empty() ? 0 : m_sizes.back();
        if (m_next < m_sizes.size())
            size = m_sizes[m_next++];
        else
            m_pszRunFlag->Set("STOP");
        // A negative script entry is a refused connection.
        return size < 0 ? ProbeResult::Failed(NetFailure::Refused) : ProbeResult::Size(size);
    }
    int Probes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_probeTimes.size());
    }
    std::vector<std::chrono::steady_clock::time_point> ProbeTimes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_probeTimes;
    }

  private:
    std::mutex m_mutex;
    std::vector<int> m_sizes;
    std::size_t m_next = 0;
    bool m_bSessionOk;
    std::vector<std::chrono::steady_clock::time_point> m_probeTimes;
};

struct WatchRun {
    PostRecorder<WatchMessage> posts;
    RunFlagPtr flag = std::make_shared<CRunFlag>("RUN");

    std::vector<Msg> Watch(ScriptedWatch& w, int interval = 1,
                           std::chrono::milliseconds tick = 2ms) {
        WatchEntry entry;
        entry.hMainWnd = posts.Target();
        entry.nItem = 7;
        entry.nInterval = interval;
        entry.szUrl = "http://example.invalid/";
        entry.pszRunFlag = flag;
        w.SetTickLength(tick);
        w.Watch(&entry);
        return posts.Messages();
    }
};

// Each message as (number, size): a failure as -1, an end as 0, or -1 for a refused session.
std::vector<std::pair<unsigned, long>> Summary(const std::vector<Msg>& msgs) {
    std::vector<std::pair<unsigned, long>> out;
    for (const Msg& m : msgs) {
        const WatchMessage& w = m.value;
        EXPECT_EQ(7, w.nItem) << "every message carries the row";
        const long value = w.msg == WM_WATCH_ENDED ? (w.bSessionRefused ? -1 : 0)
                                                   : (w.result.Ok() ? w.result.nSize : -1);
        out.emplace_back(w.msg, value);
    }
    return out;
}

using Expect = std::vector<std::pair<unsigned, long>>;

}  // namespace

TEST(WatchLoop, ReportsEveryResultThatCanMatterFirstAsThePageSize) {
    // What a result means is the model's to decide: each failure counts, and the second
    // good result after one shows the recovery is over; only a quiet page's repeats go.
    const long refused = -1;
    struct Case {
        std::vector<int> sizes;  // -1: refused; the last one repeats once at the stop
        Expect expected;
    } cases[] = {
        {{1000, -1, 1002},
         {{WM_PAGE_SIZE, 1000},
          {WM_PROBE_RESULT, refused},
          {WM_PROBE_RESULT, 1002},
          {WM_PROBE_RESULT, 1002},
          {WM_WATCH_ENDED, 0}}},
        {{1000, 1000, 1000, 1001, -1, -1},
         {{WM_PAGE_SIZE, 1000},
          {WM_PROBE_RESULT, 1000},
          {WM_PROBE_RESULT, 1001},
          {WM_PROBE_RESULT, refused},
          {WM_PROBE_RESULT, refused},
          {WM_PROBE_RESULT, refused},
          {WM_WATCH_ENDED, 0}}},
    };
    for (const Case& c : cases) {
        WatchRun run;
        ScriptedWatch w(c.sizes);
        EXPECT_EQ(c.expected, Summary(run.Watch(w)));
    }
}

TEST(WatchLoop, RefusedSessionSendsOnlyTheEndWithMinusOne) {
    WatchRun run;
    ScriptedWatch w({1000}, false);
    EXPECT_EQ(Expect({{WM_WATCH_ENDED, -1}}), Summary(run.Watch(w)));
    EXPECT_EQ(0, w.Probes());
}

TEST(WatchLoop, ProbesEveryIntervalOfTicks) {
    WatchRun run;
    ScriptedWatch w({10, 10, 10, 10, 10});
    run.Watch(w, 1, 20ms);  // interval 1: a probe every 2 ticks of 20 ms
    auto times = w.ProbeTimes();
    ASSERT_GE(times.size(), 5u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 40ms * 95 / 100 - 1ms) << "probe " << i << ", give or take a twentieth";
}

TEST(WatchLoop, StopWhileSleepingEndsWithin500ms) {
    WatchRun run;
    ScriptedWatch w({1000, 1000, 1000});
    std::thread t([&] { run.Watch(w, 60, 500ms); });
    ASSERT_TRUE(run.posts.WaitFor(WM_PAGE_SIZE, 2s));
    std::this_thread::sleep_for(700ms);  // well inside a tick
    auto stopped = std::chrono::steady_clock::now();
    run.flag->Set("STOP");
    ASSERT_TRUE(run.posts.WaitFor(WM_WATCH_ENDED, 2s));
    t.join();
    auto msgs = run.posts.Messages();
    EXPECT_LT(msgs.back().when - stopped, 500ms);
    EXPECT_EQ(1, w.Probes()) << "no probe after the stop";
}

TEST(WatchLoop, OnlyTheExactWordStopEndsIt) {
    WatchRun run;
    ScriptedWatch w({1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000});
    std::thread t([&] { run.Watch(w, 100, 5ms); });
    ASSERT_TRUE(run.posts.WaitFor(WM_PAGE_SIZE, 2s));
    run.flag->Set("stop");
    EXPECT_FALSE(run.posts.WaitFor(WM_WATCH_ENDED, 100ms));
    run.flag->Set("STOPPED");
    EXPECT_FALSE(run.posts.WaitFor(WM_WATCH_ENDED, 100ms));
    run.flag->Set("STOP");
    EXPECT_TRUE(run.posts.WaitFor(WM_WATCH_ENDED, 1s));
    t.join();
}

TEST(WatchThread, CreateThreadWatchesARealPageAndIsJoined) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write(TestHttpServer::Response("200 OK", "Content-Length: 4321\r\n", ""));
    });
    PostRecorder<WatchMessage> posts;
    WatchEntry entry;
    entry.hMainWnd = posts.Target();
    entry.nItem = 3;
    entry.nInterval = 1;
    entry.pszRunFlag = std::make_shared<CRunFlag>("RUN");
    entry.szUrl = server.Url("/" + std::string(3000, 'u'));  // any length is carried
    RunFlagPtr flag = entry.pszRunFlag;
    CWatchThread thread(entry);
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(posts.WaitFor(WM_PAGE_SIZE, 5s));
    flag->Set("STOP");
    ASSERT_TRUE(posts.WaitFor(WM_WATCH_ENDED, 2s));
    EXPECT_TRUE(thread.Join(2s));
    auto msgs = posts.Messages();
    ASSERT_EQ(2u, msgs.size());
    EXPECT_EQ(3, msgs[0].value.nItem);
    EXPECT_EQ(ProbeResult::Size(4321), msgs[0].value.result);
    EXPECT_FALSE(msgs[1].value.bSessionRefused);
}

TEST(PostTarget, PostsAfterCloseAreDropped) {
    PostRecorder<WatchMessage> posts;
    WatchTarget target = posts.Target();
    EXPECT_TRUE(target->Post({WM_PAGE_SIZE, 1, ProbeResult::Size(2)}));
    target->Close();
    EXPECT_FALSE(target->Post({WM_PAGE_SIZE, 1, ProbeResult::Size(3)}));
    EXPECT_EQ(1u, posts.Messages().size());
}

TEST(WatchThread, ALongIntervalIsOneSleepThatStopEndsAtOnce) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write(TestHttpServer::Response("200 OK", "Content-Length: 10\r\n", "0123456789"));
    });
    PostRecorder<WatchMessage> posts;
    WatchEntry entry;
    entry.hMainWnd = posts.Target();
    entry.nInterval = 3600;
    entry.pszRunFlag = std::make_shared<CRunFlag>("RUN");
    entry.szUrl = server.Url("/");
    RunFlagPtr flag = entry.pszRunFlag;
    CWatchThread thread(entry);
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_TRUE(posts.WaitFor(WM_PAGE_SIZE, 5s));
    std::this_thread::sleep_for(300ms);
    auto stopped = std::chrono::steady_clock::now();
    flag->Set("STOP");
    ASSERT_TRUE(posts.WaitFor(WM_WATCH_ENDED, 2s));
    EXPECT_LT(posts.Messages().back().when - stopped, 500ms);
    EXPECT_EQ(1, server.RequestCount());
    EXPECT_TRUE(thread.Join(2s));
}

TEST(WatchThread, BothWatchersPostATextRowOnlyWhenItsTextChangesWithTheNewText) {
    // Every answer has new markup; from the fifth on, the text changes too.
    auto page = [](TestServer::Conn& c, const std::string&, int index) {
        const std::string body = "<html><body data-n='" + std::to_string(index) +
                                 "'><script>n=" + std::to_string(index) + "</script><p>" +
                                 (index < 4 ? "old" : "new") + "</p></body></html>";
        c.Write(TestHttpServer::Response(
            "200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n", body));
    };
    TestHttpServer server(page), second(page);
    auto check = [](std::vector<WatchMessage> told, const char* who) {
        if (!told.empty() && told.back().msg == WM_WATCH_ENDED) told.pop_back();
        ASSERT_GE(told.size(), 2u) << who;
        const WatchMessage& last = told.back();
        ASSERT_TRUE(last.result.text) << who;
        EXPECT_EQ("new\n", *last.result.text) << who;
        for (std::size_t i = 0; i + 1 < told.size(); ++i)
            EXPECT_EQ(told[0].result.nHash, told[i].result.nHash) << who << ": markup only";
        EXPECT_LE(told.size(), 3u) << who << ": a quiet page is not posted";
    };
    auto reader = std::make_shared<content::PageReader>();
    {
        PostRecorder<WatchMessage> posts;
        WatchEntry entry;
        entry.hMainWnd = posts.Target();
        entry.nInterval = 1;
        entry.pszRunFlag = std::make_shared<CRunFlag>("RUN");
        entry.szUrl = server.Url("/");
        entry.pReader = reader;
        RunFlagPtr flag = entry.pszRunFlag;
        CWatchThread thread(entry);
        thread.SetTickLength(10ms);
        ASSERT_TRUE(thread.CreateThread());
        std::vector<WatchMessage> told;
        for (int i = 0; i < 500 && (told.empty() || !told.back().result.text ||
                                    *told.back().result.text != "new\n");
             ++i) {
            std::this_thread::sleep_for(10ms);
            told.clear();
            for (const auto& m : posts.Messages()) told.push_back(m.value);
        }
        flag->Set("STOP");
        EXPECT_TRUE(thread.Join(2s));
        check(told, "a watcher thread");
    }
    CMultiWatcher::Options options;
    options.second = 20ms;
    std::vector<WatchMessage> told;
    CMultiWatcher loop(options);
    ASSERT_TRUE(loop.Open());
    WatchEntry entry;
    entry.hMainWnd = std::make_shared<PostTarget<WatchMessage>>([&](WatchMessage m) { told.push_back(m); });
    entry.nInterval = 1;
    entry.pszRunFlag = std::make_shared<CRunFlag>("RUN");
    entry.szUrl = second.Url("/");
    entry.pReader = reader;
    ASSERT_TRUE(loop.Add(std::move(entry)));
    for (int i = 0; i < 500 && (told.empty() || !told.back().result.text ||
                                *told.back().result.text != "new\n");
         ++i)
        loop.Turn(20ms);
    loop.EndAll();
    check(told, "the many-page loop");
}

TEST(ProbeSpacing, WaitsSpreadOverATenthOfTheIntervalAroundIt) {
    for (const auto interval : {std::chrono::milliseconds(1000), std::chrono::milliseconds(60000),
                                std::chrono::milliseconds(86400000)}) {
        ProbeSpacing spacing(7);
        std::chrono::milliseconds least = interval * 2, most{0}, sum{0};
        for (int i = 0; i < 2000; ++i) {
            const auto wait = spacing.Next(interval);
            least = std::min(least, wait);
            most = std::max(most, wait);
            sum += wait;
        }
        EXPECT_GE(least, interval * 95 / 100) << interval.count();
        EXPECT_LT(most, interval * 105 / 100) << interval.count();
        EXPECT_GT(most - least, interval * 9 / 100) << interval.count() << ": spread";
        EXPECT_NEAR(1.0, static_cast<double>(sum.count()) / 2000 / interval.count(), 0.01)
            << interval.count() << ": the interval on average";
    }
    EXPECT_EQ(std::chrono::milliseconds(5), ProbeSpacing(1).Next(std::chrono::milliseconds(5)));
}
