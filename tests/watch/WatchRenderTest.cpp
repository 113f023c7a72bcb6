// sentrel-watch with rows whose pages a browser renders: the machine's Chromium, its names
// pinned to loopback, and its temporary files in a folder of the test's own.
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "WatchFixture.h"
#include "testsupport/ScriptPages.h"

namespace sentrel {
namespace test {
namespace {

using namespace std::chrono_literals;

struct RenderProfile : Profile {
    TestBrowser browser;
    TempDir temp;  // the browser's profile goes here, and nothing may stay
    std::string browserPath = browser.Path();
    std::vector<std::string> RenderEnv() const {
        std::vector<std::string> env = Env();
        env.push_back("SENTREL_BROWSER=" + browserPath);
        env.push_back("TMPDIR=" + temp.Path());
        return env;
    }
    std::string Render(std::vector<std::string> args, int* code) const {
        args.insert(args.begin(), kWatch);
        return RunAndCapture(args, code, RenderEnv());
    }
    // Nothing of a browser outlives the program: no process, no temporary folder.
    void ExpectNothingLeft() const {
        EXPECT_TRUE(ProcessesWith("--user-data-dir=" + temp.Path()).empty());
        EXPECT_TRUE(FolderEntries(temp.Path()).empty());
    }
};

TEST(WatchRender, ARenderedRowTellsTheLinesItsDataChangedAndNotItsScript) {
    ScriptSite site;
    RenderProfile p;
    ASSERT_FALSE(p.browserPath.empty()) << "no Chromium: scripts/deps.sh --test installs it";
    p.List({});
    int code = -1;
    const std::string url = site.Url("/shell");
    EXPECT_EQ("", p.Render({"--add", url, "--render", "--select", "#app"}, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ("", p.Render({"--add", site.Url("/other"), "--render", "--compare", "size"}, &code));
    EXPECT_EQ(2, code) << "a rendered row compares text";
    const std::string list = p.Render({"--list", "--json"}, &code);
    EXPECT_NE(std::string::npos, list.find("\"compare\":\"text\",\"select\":\"#app\"")) << list;
    EXPECT_NE(std::string::npos, list.find("\"render\":true")) << list;

    EXPECT_EQ("", p.Render({"--once"}, &code)) << "the first text is the reference";
    EXPECT_EQ(0, code);
    p.ExpectNothingLeft();
    site.SetComment("a comment of the script, changed");
    EXPECT_EQ("", p.Render({"--once"}, &code)) << "the script changed, not what it shows";
    EXPECT_EQ(0, code);
    site.SetPrice("39");
    const std::string out = p.Render({"--once", "--json"}, &code);
    EXPECT_EQ(1, code) << out;
    EXPECT_NE(std::string::npos, out.find("\"added\":[\"Price 39\"],\"removed\":[\"Price 42\"]")) << out;
    EXPECT_EQ(3, p.browser.Starts()) << "one browser for each pass";
    p.ExpectNothingLeft();
}

TEST(WatchRender, NoBrowserFailsOnlyTheRenderedRowUntilOneAppearsAndOtherRowsStartNone) {
    Site sizes;
    ScriptSite site;
    RenderProfile p;
    ASSERT_FALSE(p.browserPath.empty());
    p.List({{sizes.server.Url("/size"), "", "100"}});
    int code = -1;
    EXPECT_EQ("", p.Render({"--add", site.Url("/timer"), "--compare", "text"}, &code));
    EXPECT_EQ("", p.Render({"--once"}, &code));
    EXPECT_EQ(0, p.browser.Starts()) << "size and text rows need no browser";

    // The browser named is not there yet; it comes while the program runs.
    EXPECT_EQ("", p.Render({"--add", site.Url("/shell"), "--render"}, &code));
    WriteFile(p.home.File("sentrel.ini"), "interval=1\n");
    const std::string comes = p.temp.File("browser");
    p.browserPath = comes;
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch}, &fd, p.RenderEnv());
    ASSERT_GT(pid, 0);
    std::string line;
    ASSERT_TRUE(ReadLineFrom(fd, line));
    EXPECT_NE(std::string::npos,
              line.find(" failing " + site.Url("/shell") + " 未找到浏览器（请安装 Chromium、Chrome 或 Edge）"))
        << line;
    ASSERT_EQ(0, ::symlink(p.browser.Path().c_str(), comes.c_str()));
    ASSERT_TRUE(ReadLineFrom(fd, line));
    EXPECT_NE(std::string::npos, line.find(" recovered " + site.Url("/shell"))) << line;
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 3s));
    close(fd);
    ::unlink(comes.c_str());
    EXPECT_EQ(1, p.browser.Starts()) << "one browser for the run";
    p.ExpectNothingLeft();
}

TEST(WatchRender, AHostilePageFailsOrIsReadAndTheOtherRowsAreToldAndStored) {
    Site sizes;
    ScriptSite site;
    RenderProfile p;
    ASSERT_FALSE(p.browserPath.empty());
    p.List({{sizes.server.Url("/size"), "", "100"}});
    int code = -1;
    for (const char* path : {"/outer-html", "/half-emoji"})
        EXPECT_EQ("", p.Render({"--add", site.Url(path), "--render"}, &code)) << path;
    sizes.size = 150;
    const std::string out = p.Render({"--once"}, &code);
    EXPECT_EQ(1, code) << out;  // the pass ends as a pass does: the size row changed
    EXPECT_NE(std::string::npos, out.find(" changed " + sizes.server.Url("/size") + " 100 -> 150")) << out;
    EXPECT_EQ("", p.Render({"--once"}, &code)) << "every row's state was stored";
    EXPECT_EQ(0, code);
    p.ExpectNothingLeft();
}

TEST(WatchRender, SigtermDuringARenderEndsTheBrowserWithTheProgram) {
    ScriptSite site;
    RenderProfile p;
    ASSERT_FALSE(p.browserPath.empty());
    p.List({});
    int code = -1;
    EXPECT_EQ("", p.Render({"--add", site.Url("/hold"), "--render"}, &code));
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch}, &fd, p.RenderEnv());
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 500 && site.Hits("/hold") == 0; ++i) std::this_thread::sleep_for(20ms);
    ASSERT_EQ(1, site.Hits("/hold")) << "the browser asked for the page";
    const auto start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    close(fd);
    p.ExpectNothingLeft();
}

}  // namespace
}  // namespace test
}  // namespace sentrel
