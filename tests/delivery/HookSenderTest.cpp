// Webhooks and ntfy against receivers on 127.0.0.1: what they get, retries, hooks that
// hang or refuse, TLS.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "alerts/AlertJson.h"
#include "delivery/HookSender.h"
#include "platform/Files.h"
#include "testsupport/HookReceiver.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

AlertReport TextChange() {
    AlertReport r;
    r.kind = EventKind::Changed;
    r.when = 1796000000;
    r.url = "http://shop.example/价格?a=1";
    r.note = "价格";
    r.nOldSize = 11;
    r.nNewSize = 12;
    r.bText = true;
    r.added = {"300 元"};
    r.removed = {"299 元"};
    return r;
}

// A sender with short bounds, and what it logged.
struct Sender {
    explicit Sender(HookSender::Options o = Quick())
        : hooks([this](const std::string& t) {
              std::lock_guard<std::mutex> lock(mutex);
              logged.push_back(t);
          }, o) {}
    static HookSender::Options Quick() {
        HookSender::Options o;
        o.bound = 500ms;
        o.backoff = 50ms;
        return o;
    }
    std::vector<std::string> Logged() {
        std::lock_guard<std::mutex> lock(mutex);
        return logged;
    }
    std::mutex mutex;
    std::vector<std::string> logged;
    HookSender hooks;
};

HookTargets Webhooks(std::vector<std::string> urls, std::string ntfy = "") {
    return {std::move(urls), std::move(ntfy), {}};
}

}  // namespace

TEST(HookSender, AWebhookGetsTheEventsJsonAndNtfyAMessageWithItsHeaders) {
    HookReceiver webhook, ntfy;
    Sender s;
    const auto sent = std::chrono::steady_clock::now();
    s.hooks.Send(Webhooks({webhook.Url()}, ntfy.Url("/topic")), TextChange());
    ASSERT_TRUE(webhook.WaitFor(1, 2s) && ntfy.WaitFor(1, 2s));
    const HookReceiver::Post json = webhook.Posts()[0], message = ntfy.Posts()[0];
    EXPECT_LT(json.when - sent, 2s);
    EXPECT_EQ(0u, json.head.rfind("POST /hook HTTP/1.1\r\n", 0)) << json.head;
    EXPECT_EQ("application/json", json.Header("Content-Type"));
    EXPECT_EQ(ReportJson(TextChange()), json.body);
    EXPECT_EQ(0u, message.head.rfind("POST /topic ", 0));
    EXPECT_EQ("价格\nhttp://shop.example/价格?a=1\n- 299 元\n+ 300 元", message.body);
    EXPECT_EQ("=?UTF-8?B?5pyJ5pu05paw77yB?=", message.Header("Title")) << "有更新！";
    EXPECT_EQ("bell,changed", message.Header("Tags"));
    EXPECT_EQ("", message.Header("Click")) << "a URL beyond ASCII is no header value";
    EXPECT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 2s));
    EXPECT_EQ(0, s.hooks.Unconfirmed());

    AlertReport failing;
    failing.kind = EventKind::Failing;
    failing.url = "http://a.example/";
    failing.reason = "HTTP 503";
    s.hooks.Send(Webhooks({}, ntfy.Url("/topic")), failing);
    ASSERT_TRUE(ntfy.WaitFor(2, 2s));
    EXPECT_EQ("http://a.example/\n原因：HTTP 503", ntfy.Posts()[1].body);
    EXPECT_EQ("warning,failing", ntfy.Posts()[1].Header("Tags"));
    EXPECT_EQ("http://a.example/", ntfy.Posts()[1].Header("Click"));
    EXPECT_TRUE(s.Logged().empty());
}

TEST(HookSender, TriesThreeTimesWithBackOffAndTellsAnOutageOnceAndItsEnd) {
    struct Case {
        const char* name;
        std::function<int(int)> answer;
        int requests;  // for one event
        bool confirmed;
    } cases[] = {
        {"busy twice, then taken", [](int i) { return i < 2 ? 503 : 200; }, 3, true},
        {"always failing", [](int) { return 500; }, 3, false},
        {"refused for good", [](int) { return 404; }, 1, false},
        {"rate limited once", [](int i) { return i == 0 ? 429 : 204; }, 2, true},
    };
    for (const Case& c : cases) {
        HookReceiver hook(c.answer);
        Sender s;
        s.hooks.Send(Webhooks({hook.Url()}), TextChange());
        EXPECT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 5s)) << c.name;
        EXPECT_EQ(static_cast<std::size_t>(c.requests), hook.Posts().size()) << c.name;
        EXPECT_EQ(c.confirmed ? 0 : 1, s.hooks.Unconfirmed()) << c.name;
        EXPECT_EQ(c.confirmed ? 0u : 1u, s.Logged().size()) << c.name;
        if (c.requests > 1) {
            EXPECT_GE(hook.Posts()[1].when - hook.Posts()[0].when, 45ms) << c.name;
        }
    }
    // An outage of many events is one line, and its end another.
    std::atomic<bool> down{true};
    HookReceiver flaky([&](int) { return down ? 502 : 200; });
    Sender s;
    for (int i = 0; i < 3; ++i) s.hooks.Send(Webhooks({flaky.Url()}), TextChange());
    ASSERT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 10s));
    down = false;
    s.hooks.Send(Webhooks({flaky.Url()}), TextChange());
    s.hooks.Send(Webhooks({flaky.Url()}), TextChange());
    ASSERT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 5s));
    ASSERT_EQ(2u, s.Logged().size());
    EXPECT_EQ("推送到 " + flaky.Url() + " 失败：HTTP 502", s.Logged()[0]);
    EXPECT_EQ("推送到 " + flaky.Url() + " 已恢复", s.Logged()[1]);
}

TEST(HookSender, AHookThatHangsIsGivenUpInItsBoundAndHoldsUpNoOther) {
    HookReceiver hanging([](int) { return 0; }), quick;
    Sender s;
    const auto start = std::chrono::steady_clock::now();
    s.hooks.Send(Webhooks({hanging.Url(), quick.Url()}), TextChange());
    ASSERT_TRUE(quick.WaitFor(1, 2s)) << "not behind the hanging one";
    EXPECT_FALSE(s.hooks.WaitIdle(start + 200ms));
    EXPECT_TRUE(s.hooks.WaitIdle(start + s.hooks.DeliveryBound() + 1s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 3 * 500ms);
    EXPECT_EQ(3u, hanging.Posts().size());
    EXPECT_EQ(1, s.hooks.Unconfirmed());
    ASSERT_EQ(1u, s.Logged().size());
    EXPECT_NE(std::string::npos, s.Logged()[0].find("失败：超时")) << s.Logged()[0];
    // The end of the program does not wait for a hook that hangs.
    auto* leaving = new Sender(HookSender::Options{30s, 3, 1s});
    leaving->hooks.Send(Webhooks({hanging.Url()}), TextChange());
    hanging.WaitFor(4, 2s);
    const auto exit = std::chrono::steady_clock::now();
    delete leaving;
    EXPECT_LT(std::chrono::steady_clock::now() - exit, 2s);
}

#ifndef _WIN32
TEST(HookSender, TlsIsVerifiedAsForMail) {
    TempDir dir;
    TestCerts certs(dir.Path());
    SetEnv("CURL_CA_BUNDLE", certs.CaFile().c_str());
    struct Case {
        TestCerts::Kind kind;
        bool confirmed;
    } cases[] = {{TestCerts::kValid, true},
                 {TestCerts::kNameMismatch, false},
                 {TestCerts::kExpired, false},
                 {TestCerts::kUntrusted, false}};
    for (const Case& c : cases) {
        TestHttpServer server([](TestServer::Conn& conn, const std::string&, int) {
            conn.Write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        }, certs.ServerContext(c.kind));
        Sender s;
        s.hooks.Send(Webhooks({server.Url("/h", true)}), TextChange());
        ASSERT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 5s));
        EXPECT_EQ(c.confirmed ? 0 : 1, s.hooks.Unconfirmed()) << c.kind;
    }
    UnsetEnv("CURL_CA_BUNDLE");
}
#endif

TEST(HookTargets, TheSwitchAndTheUrlsAsTheSettingsHoldThem) {
    Settings settings;
    settings.m_strWebhook = "https://a/1\n\n  https://b/2 \n";
    settings.m_strNtfy = " https://ntfy.sh/t ";
    HookTargets t = HookTargets::Of(settings);
    EXPECT_EQ((std::vector<std::string>{"https://a/1", "https://b/2"}), t.webhooks);
    EXPECT_EQ("https://ntfy.sh/t", t.ntfy);
    settings.m_bWebhook = false;
    EXPECT_FALSE(HookTargets::Of(settings).Any());
    std::string problem;
    for (const char* bad : {"ftp://a/", "a.example/hook", "http://a/\x01"}) {
        problem.clear();
        EXPECT_FALSE(HookUrlUsable(bad, problem)) << bad;
        EXPECT_NE("", problem) << bad;
    }
    EXPECT_TRUE(HookUrlUsable("https://a/", problem));
}

TEST(HookSender, AHookThatKeepsFailingKeepsABoundedQueueAndTellsWhatItDropped) {
    std::atomic<bool> down{true}, queued{false};
    HookReceiver hook([&](int) {
        // The first post is answered once all 30 are waiting, however slow the machine
        // (within the hook's bound, so that it fails with its HTTP status, not a timeout).
        for (int i = 0; i < 300 && !queued; ++i) std::this_thread::sleep_for(10ms);
        return down ? 500 : 200;
    });
    HookSender::Options o = Sender::Quick();
    o.tries = 1;
    o.bound = 5s;
    o.maxQueued = 5;
    o.maxQueuedBytes = 64 * 1024;
    Sender s(o);
    // A user and password in the hook's URL are never shown.
    const std::string url = "http://alice:s3cret@" + hook.Url().substr(7);
    AlertReport big = TextChange();
    big.added.assign(20, std::string(10000, 'x'));
    for (int i = 0; i < 30; ++i) s.hooks.Send(Webhooks({url}), i % 2 ? big : TextChange());
    queued = true;
    EXPECT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 5s));
    const int posted = static_cast<int>(hook.Posts().size());
    EXPECT_LE(posted, 7) << "the first, and the five newest that waited";
    EXPECT_EQ(30, s.hooks.Unconfirmed());
    down = false;
    s.hooks.Send(Webhooks({url}), TextChange());
    EXPECT_TRUE(s.hooks.WaitIdle(std::chrono::steady_clock::now() + 5s));
    const std::vector<std::string> logged = s.Logged();
    ASSERT_EQ(3u, logged.size());
    const std::string shown = "http://alice:***@" + hook.Url().substr(7);
    EXPECT_EQ("推送到 " + shown + " 失败：HTTP 500", logged[0]);
    EXPECT_EQ("推送到 " + shown + " 已恢复", logged[1]);
    EXPECT_EQ("推送到 " + shown + " 积压过多，丢弃了 " + std::to_string(30 - posted) + " 个最早的事件",
              logged[2]);
    for (const std::string& line : logged) EXPECT_EQ(std::string::npos, line.find("s3cret"));
}
