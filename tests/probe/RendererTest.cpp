// Pages built by script, rendered by the machine's Chromium (its name resolution pinned to
// loopback).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <thread>

#include "RendererFixture.h"
#include "probe/WatchThread.h"
#include "testsupport/ScriptPages.h"

namespace sentrel {
namespace {

using test::ScriptSite;

#ifndef _WIN32
class RenderedPages : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(browser.Path().empty()) << "no Chromium: scripts/deps.sh --test installs it";
        test::SetEnv("SENTREL_BROWSER", browser.Path());
        test::SetEnv("TMPDIR", temp.Path());  // the browser's profile goes here
        renderer.SetBounds(ShortBounds());
    }
    void TearDown() override {
        renderer.Shutdown();
        test::UnsetEnv("SENTREL_BROWSER");
        test::UnsetEnv("TMPDIR");
    }
    std::vector<pid_t> BrowserProcesses() const { return test::ProcessesWith("--user-data-dir=" + temp.Path()); }

    test::TestBrowser browser;
    test::TempDir temp;
    ScriptSite site;
    Renderer renderer;
};

TEST_F(RenderedPages, ScriptsRunBeforeTheTextIsReadAndNothingLeavesTheWeb) {
    struct Case {
        const char* path;
        const char* shown;
        const char* absent;
    };
    const Case cases[] = {
        {"/shell", "Price 42\nStock 3", "Loading"},        // data fetched as JSON
        {"/timer", "Ready after the timer", ""},           // a timer's work
        {"/error", "Before the error\nAfter the error", "never"},  // a script that fails
        {"/alert", "After the dialogs", ""},               // alert, confirm, prompt dismissed
        {"/redirect", "Landing page", "Moving on"},        // navigation by script, followed
        {"/popup", "Opener page", "Landing page"},         // the popup is not the page
        {"/file", "Refused", "Read"},                      // file: never read
        {"/to-file", "Stays here", "root:"},               // nor navigated to
        {"/outer-html", "Still read", ""},                 // the document read by the browser itself
        {"/half-emoji", "Deal \xEF\xBF\xBD\nWhole \xF0\x9F\x98\x80", ""},  // half of an emoji: U+FFFD
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const Renderer::Page page = renderer.Render(site.Url(c.path), {});
        ASSERT_EQ(page.failure, ProbeFailure::None);
        const std::string text = TextOf(page.html);
        EXPECT_NE(text.find(c.shown), std::string::npos) << text;
        if (*c.absent) {
            EXPECT_EQ(text.find(c.absent), std::string::npos) << text;
        }
    }
    EXPECT_EQ(renderer.BrowsersStarted(), 1) << "one browser for every page";
    EXPECT_EQ(browser.Starts(), 1);
}

TEST_F(RenderedPages, PagesThatNeverSettleEndWithinTheirBounds) {
    struct Case {
        const char* path;
        ProbeFailure failure;
        double most;  // seconds
    };
    const Case cases[] = {
        {"/busy", ProbeFailure::RenderTimeout, 4.5},              // quiet, then the document never comes
        {"/busy-before-load", ProbeFailure::RenderTimeout, 5.5},  // no load event
        {"/hold", ProbeFailure::RenderTimeout, 5.5},              // the server never answers
        {"/held-script", ProbeFailure::RenderTimeout, 5.5},       // a script never comes: no load event
        {"/polling", ProbeFailure::None, 3.5},                    // read at the latest 2 s after load
        {"/missing", ProbeFailure::HttpStatus, 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = Clock::now();
        const Renderer::Page page = renderer.Render(site.Url(c.path), {});
        EXPECT_EQ(page.failure, c.failure);
        EXPECT_LT(Seconds(start), c.most);
    }
    // A page stuck in its script cost its context, not the browser.
    EXPECT_EQ(renderer.Render(site.Url("/shell"), {}).failure, ProbeFailure::None);
    EXPECT_EQ(renderer.BrowsersStarted(), 1);
}

TEST(RenderingBrowser, TalksToNothingButThePagesItRenders) {
    // Every name the browser looks up leads to a trap that counts who came.
    test::TestServer trap([](test::TestServer::Conn& c) { c.Close(); });
    test::TestBrowser browser(trap.Port());
    ASSERT_FALSE(browser.Path().empty());
    EnvScope env("SENTREL_BROWSER", browser.Path());
    ScriptSite site;
    Renderer renderer;
    renderer.SetBounds(ShortBounds());
    for (const char* path : {"/shell", "/redirect", "/cookie"})
        EXPECT_EQ(renderer.Render(site.Url(path), {}).failure, ProbeFailure::None) << path;
    std::this_thread::sleep_for(3s);  // what a browser asks for by itself, it asks for by now
    renderer.Shutdown();
    EXPECT_EQ(trap.Connections(), 0);
}

TEST_F(RenderedPages, AnUntrustedCertificateFailsThePage) {
    test::TempDir certDir;
    test::TestCerts certs(certDir.Path());
    test::TestHttpServer tls(
        [](test::TestServer::Conn& c, const std::string&, int) {
            c.Write(test::TestHttpServer::Response("200 OK", "Content-Type: text/html\r\n", "<p>secret</p>"));
        },
        certs.ServerContext(test::TestCerts::kUntrusted));
    const Renderer::Page page = renderer.Render(tls.Url("/", true), {});
    EXPECT_EQ(page.failure, ProbeFailure::Network);
    EXPECT_EQ(page.net, NetFailure::Certificate);
    EXPECT_TRUE(page.html.empty());
}

TEST_F(RenderedPages, EachRenderHasItsOwnCookiesAndNoPicturesFontsOrMedia) {
    for (int i = 0; i < 2; ++i) {
        const Renderer::Page page = renderer.Render(site.Url("/cookie"), {});
        ASSERT_EQ(page.failure, ProbeFailure::None);
        EXPECT_NE(TextOf(page.html).find("Cookie: none"), std::string::npos) << TextOf(page.html);
    }
    EXPECT_EQ(site.CookieSent("/cookie"), "");
    EXPECT_EQ(site.Hits("/cookie"), 2);

    ASSERT_EQ(renderer.Render(site.Url("/image"), {}).failure, ProbeFailure::None);
    EXPECT_EQ(site.Hits("/picture.png"), 0);
    EXPECT_EQ(site.Hits("/font.woff2"), 0);
}

TEST_F(RenderedPages, AtMostTwoPagesAtOnce) {
    std::vector<std::future<Renderer::Page>> pages;
    for (int i = 0; i < 5; ++i)
        pages.push_back(std::async(std::launch::async, [&] { return renderer.Render(site.Url("/slow"), {}); }));
    for (auto& page : pages) EXPECT_EQ(page.get().failure, ProbeFailure::None);
    EXPECT_EQ(site.MostSlowAtOnce(), 2);
    EXPECT_EQ(renderer.BrowsersStarted(), 1);
}

TEST_F(RenderedPages, AKilledBrowserFailsThePageInFlightAndTheNextPageStartsAnother) {
    auto held = std::async(std::launch::async, [&] { return renderer.Render(site.Url("/hold"), {}); });
    const auto until = Clock::now() + 10s;
    while (site.Hits("/hold") == 0 && Clock::now() < until) std::this_thread::sleep_for(20ms);
    ASSERT_EQ(site.Hits("/hold"), 1);
    const auto killed = Clock::now();
    for (pid_t pid : BrowserProcesses()) ::kill(pid, SIGKILL);
    EXPECT_EQ(held.get().failure, ProbeFailure::BrowserFailed);
    EXPECT_LT(Seconds(killed), 1.5);

    const Renderer::Page next = renderer.Render(site.Url("/shell"), {});
    EXPECT_EQ(next.failure, ProbeFailure::None);
    EXPECT_EQ(renderer.BrowsersStarted(), 2);
}

TEST_F(RenderedPages, TheBrowserEndsWhenIdleOrAtTheEndAndLeavesNothing) {
    Renderer::Bounds bounds = ShortBounds();
    bounds.idle = 300ms;
    renderer.SetBounds(bounds);
    ASSERT_EQ(renderer.Render(site.Url("/shell"), {}).failure, ProbeFailure::None);
    EXPECT_FALSE(BrowserProcesses().empty());
    const auto until = Clock::now() + 5s;
    while ((!BrowserProcesses().empty() || !test::FolderEntries(temp.Path()).empty()) && Clock::now() < until)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(BrowserProcesses().empty()) << "ended after its idle time";
    EXPECT_TRUE(test::FolderEntries(temp.Path()).empty()) << "its profile removed: " << (test::FolderEntries(temp.Path()).empty() ? "" : test::FolderEntries(temp.Path())[0]);

    ASSERT_EQ(renderer.Render(site.Url("/shell"), {}).failure, ProbeFailure::None);
    EXPECT_EQ(renderer.BrowsersStarted(), 2);
    renderer.Shutdown();
    EXPECT_TRUE(BrowserProcesses().empty());
    EXPECT_TRUE(test::FolderEntries(temp.Path()).empty());
}

TEST_F(RenderedPages, ALongTemporaryFolderStillRenders) {
    // Services and test runners give long ones; a browser's socket path must still fit.
    std::string deep = temp.Path();
    while (deep.size() < 150) {
        deep += "/" + std::string(std::min<std::size_t>(20, 150 - deep.size()), 'd');
        ::mkdir(deep.c_str(), 0700);
    }
    ASSERT_GE(deep.size(), 150u);
    test::SetEnv("TMPDIR", deep);
    const Renderer::Page page = renderer.Render(site.Url("/shell"), {});
    EXPECT_EQ(page.failure, ProbeFailure::None) << ProbeResult::Failed(page.failure, page.detail).Reason();
    EXPECT_NE(TextOf(page.html).find("Price 42"), std::string::npos);
}

TEST_F(RenderedPages, APageThatWantsTooMuchMemoryCostsNoOtherPage) {
    Renderer::Bounds bounds = ShortBounds();
    bounds.memory = std::size_t(512) << 20;
    bounds.load = bounds.command = 20s;
    renderer.SetBounds(bounds);
    // What the browser's processes hold while the page asks for 4 GB.
    std::atomic<bool> done{false};
    std::size_t peak = 0;
    std::thread watch([&] {
        while (!done) {
            peak = std::max(peak, renderer.BrowserMemory());
            std::this_thread::sleep_for(20ms);
        }
    });
    const Renderer::Page buffers = renderer.Render(site.Url("/buffers"), {});
    EXPECT_EQ(buffers.failure, ProbeFailure::None);
    EXPECT_NE(TextOf(buffers.html).find("refused"), std::string::npos) << TextOf(buffers.html);
    // A million nodes end their own page's process; a page beside it renders.
    auto shell = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(300ms);
        return renderer.Render(site.Url("/shell"), {});
    });
    const Renderer::Page nodes = renderer.Render(site.Url("/million-nodes"), {});
    EXPECT_EQ(nodes.failure, ProbeFailure::TooLarge) << ProbeResult::Failed(nodes.failure, nodes.detail).Reason();
    EXPECT_EQ(shell.get().failure, ProbeFailure::None);
    done = true;
    watch.join();
    EXPECT_LT(peak, std::size_t(1536) << 20) << "the browser's processes together, in MB: " << (peak >> 20);
    EXPECT_EQ(renderer.BrowsersStarted(), 1);
}

TEST_F(RenderedPages, ARowRendersThroughTheProbeWithItsRegionAndRules) {
    // The whole path of a row: the probe, the renderer the program shares, the reader.
    Renderer::Shared().SetBounds(ShortBounds());
    content::PageReader reader;
    std::string why;
    ASSERT_TRUE(reader.Set("#app", "Stock", why)) << why;
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    probe.SetReader(&reader);
    probe.SetRender(true);
    const ProbeResult result = probe.Probe(site.Url("/shell").c_str(), nullptr);
    ASSERT_EQ(result.failure, ProbeFailure::None);
    EXPECT_EQ(*result.text, "Price 42\n");

    // Only the web: a row's file: URL never reaches the browser.
    EXPECT_FALSE(probe.Probe("file:///etc/passwd", nullptr).Ok());
    Renderer::Shared().Shutdown();
}
#endif

}  // namespace
}  // namespace sentrel
