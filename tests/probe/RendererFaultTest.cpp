// The renderer against what a real browser cannot be made to do: the stand-in browser's
// faults (broken, hung, malformed answers), and no browser at all.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <future>

#include "RendererFixture.h"

namespace sentrel {
namespace {

TEST(NoBrowser, APageFailsWithItsOwnReason) {
    EnvScope env("SENTREL_BROWSER", "/no/such/browser");
    Renderer renderer;
    const Renderer::Page page = renderer.Render("http://127.0.0.1:9/", {});
    EXPECT_EQ(page.failure, ProbeFailure::NoBrowser);
    EXPECT_EQ(ProbeResult::Failed(page.failure).Reason(), "未找到浏览器（请安装 Chromium、Chrome 或 Edge）");
    EXPECT_EQ(renderer.BrowsersStarted(), 0);
}

// The stand-in browser: the pipe as a browser has it, and faults a browser cannot be made to give.
TEST(StandInBrowser, TalksOverThePipeWithTheSwitchesThatKeepItQuiet) {
    test::TempDir dir;
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    EnvScope log("STANDIN_BROWSER_LOG", dir.File("args"));
    Renderer renderer;
    renderer.SetBounds(ShortBounds());
    const Renderer::Page page = renderer.Render("http://127.0.0.1:9/", {});
    ASSERT_EQ(page.failure, ProbeFailure::None);
    EXPECT_NE(TextOf(page.html).find("Stand-in page"), std::string::npos);
    renderer.Shutdown();
    const std::string args = test::ReadFile(dir.File("args"));
    for (const char* wanted : {"--headless\n", "--remote-debugging-pipe\n", "--user-data-dir=", "--no-first-run\n",
                               "--disable-background-networking\n", "--disable-component-update\n",
                               "--disable-sync\n", "--disable-default-apps\n", "about:blank\n--\n"})
        EXPECT_NE(args.find(wanted), std::string::npos) << wanted << " in\n" << args;
}

TEST(StandInBrowser, ABrowserThatBreaksFailsOnlyThePageInFlight) {
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    Renderer renderer;
    renderer.SetBounds(ShortBounds());
    for (const char* mode : {"garbage", "hang", "crash"}) {
        SCOPED_TRACE(mode);
        {
            EnvScope fault("STANDIN_BROWSER_MODE", mode);
            const auto start = Clock::now();
            EXPECT_EQ(renderer.Render("http://127.0.0.1:9/", {}).failure, ProbeFailure::BrowserFailed);
            EXPECT_LT(Seconds(start), 3.0);
        }
        EXPECT_EQ(renderer.Render("http://127.0.0.1:9/", {}).failure, ProbeFailure::None) << "the next one works";
        renderer.Shutdown();  // the next fault needs a browser started anew
    }
    EXPECT_EQ(renderer.BrowsersStarted(), 6);
}

TEST(StandInBrowser, AnAnswerOfTheWrongShapeFailsOnlyItsPage) {
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    Renderer renderer;
    Renderer::Bounds bounds = ShortBounds();
    bounds.command *= test::kSlower;  // a sanitizer reads a deep answer slowly
    bounds.load *= test::kSlower;
    renderer.SetBounds(bounds);
    struct Case {
        const char* mode;
        ProbeFailure failure;
        const char* said;  // in the reason, or the text
    };
    const Case cases[] = {
        {"result-array", ProbeFailure::BrowserFailed, "result"},
        {"error-string", ProbeFailure::BrowserFailed, "no targets today"},
        {"html-number", ProbeFailure::BrowserFailed, "outerHTML"},
        {"deep", ProbeFailure::BrowserFailed, "64"},
        {"params-number", ProbeFailure::None, "Stand-in page"},
        {"surrogate", ProbeFailure::None, "Deal \xEF\xBF\xBD\nWhole \xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        EnvScope fault("STANDIN_BROWSER_MODE", c.mode);
        const int started = renderer.BrowsersStarted();
        for (int i = 0; i < 2; ++i) {  // the same browser answers the next page too
            const Renderer::Page page = renderer.Render("http://127.0.0.1:9/", {});
            EXPECT_EQ(page.failure, c.failure);
            const std::string said = page.failure == ProbeFailure::None
                                         ? TextOf(page.html)
                                         : ProbeResult::Failed(page.failure, page.detail).Reason();
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
        EXPECT_EQ(renderer.BrowsersStarted(), started + 1);
        renderer.Shutdown();
    }
}

TEST(StandInBrowser, ABrowserThatNeverAnswersHoldsUpNoOtherRow) {
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    EnvScope fault("STANDIN_BROWSER_MODE", "hang");
    Renderer renderer;
    renderer.SetBounds(ShortBounds());  // 2 s a command
    const auto start = Clock::now();
    std::vector<std::future<Renderer::Page>> pages;
    for (int i = 0; i < 6; ++i)
        pages.push_back(std::async(std::launch::async, [&] { return renderer.Render("http://127.0.0.1:9/", {}); }));
    for (auto& page : pages) EXPECT_EQ(page.get().failure, ProbeFailure::BrowserFailed);
    EXPECT_LT(Seconds(start), 3.5) << "six rows wait for one start, not one after another";
}

TEST(StandInBrowser, ABrowserIsStartedAnewAfterItsPagesOrOnceItHasGrown) {
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    Renderer renderer;
    Renderer::Bounds bounds = ShortBounds();
    bounds.pagesPerBrowser = 3;
    renderer.SetBounds(bounds);
    for (int i = 0; i < 7; ++i) ASSERT_EQ(renderer.Render("http://127.0.0.1:9/", {}).failure, ProbeFailure::None);
    EXPECT_EQ(renderer.BrowsersStarted(), 3);
    bounds.grown = 1;  // any browser has grown past a byte: the third ends after its next page
    renderer.SetBounds(bounds);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(renderer.Render("http://127.0.0.1:9/", {}).failure, ProbeFailure::None);
    EXPECT_EQ(renderer.BrowsersStarted(), 4);
}

#ifndef _WIN32
TEST(StandInBrowser, ItsProfileFitsASocketPathWhateverTmpdirIsAndGoesWithIt) {
    test::TempDir dir;
    std::string deep = dir.Path();
    while (deep.size() < 150) {
        deep += "/" + std::string(std::min<std::size_t>(20, 150 - deep.size()), 'd');
        ::mkdir(deep.c_str(), 0700);
    }
    EnvScope tmp("TMPDIR", deep);
    EnvScope browser("SENTREL_BROWSER", kStandIn);
    EnvScope log("STANDIN_BROWSER_LOG", dir.File("args"));
    Renderer renderer;
    renderer.SetBounds(ShortBounds());
    ASSERT_EQ(renderer.Render("http://127.0.0.1:9/", {}).failure, ProbeFailure::None);
    const std::string args = test::ReadFile(dir.File("args"));
    const std::size_t at = args.find("--user-data-dir=");
    ASSERT_NE(at, std::string::npos);
    const std::string profile = args.substr(at + 16, args.find('\n', at) - at - 16);
    // Its temporary folder and the socket a browser makes there: ".../t/.org.chromium.Chromium.XXXXXX/SingletonSocket".
    EXPECT_LE(profile.size() + 48, 107u) << profile;
    struct stat st {};
    ASSERT_EQ(::stat(profile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "its owner's only";
    renderer.Shutdown();
    EXPECT_NE(::stat(profile.c_str(), &st), 0) << "removed at the end";
}
#endif

}  // namespace
}  // namespace sentrel
