// The real program, ended by SIGTERM and by its QUIT button: settings and list are stored.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "ProgramWindow.h"
#include "platform/ProfileLock.h"
#include "store/UrlStore.h"
#include "testsupport/Process.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

class ProgramRun : public ::testing::Test {
  protected:
    void SetUp() override { Start({}); }
    void Start(const std::vector<std::string>& env) {
        WriteFile(m_home.File("sentrel.ini"), m_ini);
        std::string error;
        ASSERT_TRUE(UrlStore(m_home.File("user.mdb")).Save({{"http://a/", "n", "42"}}, error));
        std::vector<std::string> all = env;
        all.push_back("SENTREL_HOME=" + m_home.Path());
        m_pid = Spawn({SENTREL_BIN_DIR "/sentrel"}, all);
        ASSERT_GT(m_pid, 0);
        m_window = WaitForWindow(m_pid, 15s, env);
        ASSERT_FALSE(m_window.empty()) << "the window did not appear";
    }
    void TearDown() override {
        if (m_pid > 0 && !m_bEnded) {
            kill(m_pid, SIGKILL);
            WaitExit(m_pid, 5s);
        }
    }
    int WaitEnd() {
        int status = WaitExit(m_pid, 10s);
        m_bEnded = status >= 0;
        return status;
    }
    void ExpectStored() {
        std::string ini = ReadFile(m_home.File("sentrel.ini"));
        EXPECT_NE(
            std::string::npos,
            ini.find("interval=7\nemailrcv=\nsenduser=bob\nsendpwd=\nbalertwav=0\nbalertemail=0\n"))
            << ini;
        std::vector<UrlRow> rows;
        std::string error;
        UrlStore(m_home.File("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
        ASSERT_EQ(1u, rows.size());
        EXPECT_EQ("42", rows[0].kbsize);
    }
    TempDir m_home;
    std::string m_ini = "interval=7\nsenduser=Bob@163.com\nbalertwav=0\n";
    pid_t m_pid = -1;
    bool m_bEnded = false;
    std::string m_window;
};

}  // namespace

TEST_F(ProgramRun, SigtermRunsTheOrderlyShutdown) {
    kill(m_pid, SIGTERM);
    EXPECT_EQ(0, WaitEnd());
    ExpectStored();
}

TEST_F(ProgramRun, QuitButtonRunsTheOrderlyShutdown) {
    // QUIT sits at W-46, 1 with size 35 x 17.
    ClickAt(m_window, 500, 9);
    EXPECT_EQ(0, WaitEnd());
    ExpectStored();
}

// A display of its own that the test can take away, as the end of a desktop session does.
class LostDisplayRun : public ProgramRun {
  protected:
    void SetUp() override {
        // Xvfb picks the number and says it once it takes connections: tests run side by
        // side never share one.
        m_xvfb = SpawnReading({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                              &m_said);
        ASSERT_GT(m_xvfb, 0);
        std::string number;
        ASSERT_TRUE(ReadLineFrom(m_said, number) && !number.empty()) << "Xvfb did not start";
        m_display = ":" + number;
        Start({"DISPLAY=" + m_display});
    }
    void TearDown() override {
        ProgramRun::TearDown();
        if (m_xvfb > 0 && WaitExit(m_xvfb, 0ms) < 0) {
            kill(m_xvfb, SIGKILL);
            WaitExit(m_xvfb, 5s);
        }
        if (m_said >= 0) close(m_said);  // open while it runs: a write there never ends it
    }
    std::string m_display;
    pid_t m_xvfb = -1;
    int m_said = -1;
};

TEST_F(LostDisplayRun, SettingsAndListAreSavedWhenTheDisplayGoesAway) {
    kill(m_xvfb, SIGTERM);
    EXPECT_EQ(0, WaitExit(m_xvfb, 10s));
    m_xvfb = -1;
    EXPECT_EQ(1, WaitEnd()) << "an abnormal end, but with everything saved";
    ExpectStored();
}

namespace {
// A settings file with a line it cannot use: the program starts with a message box open.
class ProgramWithABox : public ProgramRun {
  protected:
    void SetUp() override {
        m_ini = "interval=7\nsenduser=Bob@163.com\nbalertwav=0\nbalertemail=maybe\n";
        ProgramRun::SetUp();
    }
};
}  // namespace

TEST_F(ProgramWithABox, SigtermWhileAMessageBoxIsOpenEndsTheProgramAndStores) {
    // The box comes up once the window is shown.
    ASSERT_TRUE(WaitUntil([&] { return !WindowTitled(m_pid, "提示").empty(); }, 10s));
    kill(m_pid, SIGTERM);
    EXPECT_EQ(0, WaitEnd()) << "the box must not hold the exit";
    ExpectStored();
}

TEST_F(ProgramRun, SigtermWhileOptionsIsOpenEndsTheProgramAndStores) {
    // ▾ (POP, at W-100, 1), then 设置 from its menu: Options is open on a loop of its own.
    auto optionsOpen = [&] { return !WindowTitled(m_pid, "选项").empty(); };
    bool open = false;
    // Tried a few times: a click can go to another test's window that was just mapped.
    for (int attempt = 0; attempt < 5 && !open; ++attempt) {
        const std::size_t before = VisibleWindows(m_pid).size();
        ClickAt(m_window, 443, 9);
        // The menu opens below the button, as windows of the program's own.
        if (!WaitUntil([&] { return VisibleWindows(m_pid).size() > before; }, 3s)) continue;
        ClickAt(m_window, 474, 37, {}, false);  // its first entry, 设置
        open = WaitUntil(optionsOpen, 3s);
    }
    ASSERT_TRUE(open) << "Options did not open";
    kill(m_pid, SIGTERM);
    EXPECT_EQ(0, WaitEnd()) << "one SIGTERM ends the program, not only Options";
    ExpectStored();
}

TEST_F(ProgramRun, ASecondStartShowsTheFirstWindowAndEnds) {
    ClickAt(m_window, 466, 9);  // MIN (W-73, 1): off the screen
    ASSERT_TRUE(WaitVisible(m_pid, m_window, false, 3s)) << "the window went away";
    const pid_t second = Spawn({SENTREL_BIN_DIR "/sentrel"}, {"SENTREL_HOME=" + m_home.Path()});
    ASSERT_GT(second, 0);
    EXPECT_EQ(0, WaitExit(second, 10s)) << "the second start ends at once, with status 0";
    EXPECT_TRUE(WaitVisible(m_pid, m_window, true, 5s)) << "the first window is shown again";

    // A first program that died without a word leaves no lock behind.
    kill(m_pid, SIGKILL);
    WaitExit(m_pid, 5s);
    m_pid = Spawn({SENTREL_BIN_DIR "/sentrel"}, {"SENTREL_HOME=" + m_home.Path()});
    EXPECT_FALSE(WaitForWindow(m_pid, 15s).empty()) << "a start after a crash runs";
}

namespace {
// The program's one window when that is its box ("提示"), found by its owner: xdotool's
// name patterns are not UTF-8 aware in every locale, so the title is compared here.
std::string WaitForBox(pid_t pid) {
    for (int i = 0; i < 150; ++i) {
        std::string box = RunAndCapture(
            {"/usr/bin/xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid)});
        box = box.substr(0, box.find('\n'));
        if (!box.empty() && RunAndCapture({"/usr/bin/xdotool", "getwindowname", box}) == "提示\n")
            return box;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

// A start that does not run: it says why in a box, and ends with `status` once it is read.
void ExpectRefusal(const TempDir& home, int status, const std::string& said) {
    TempDir logs;
    int out = -1;
    const pid_t pid = SpawnReading({SENTREL_BIN_DIR "/sentrel"}, &out,
                                   {"SENTREL_HOME=" + home.Path()}, logs.File("stderr"));
    ASSERT_GT(pid, 0);
    const std::string box = WaitForBox(pid);
    EXPECT_FALSE(box.empty()) << "no box said why";
    // Its one button, OK, spans the bottom of the box.
    const std::string geometry =
        RunAndCapture({"/usr/bin/xdotool", "getwindowgeometry", "--shell", box});
    auto field = [&](const std::string& name) {
        const auto at = geometry.find(name + "=");
        return at == std::string::npos ? 0 : std::atoi(geometry.c_str() + at + name.size() + 1);
    };
    ClickAt(box, field("WIDTH") / 2, field("HEIGHT") - 15);
    const int ended = WaitExit(pid, 5s);
    if (ended < 0) kill(pid, SIGKILL), WaitExit(pid, 5s);
    close(out);
    EXPECT_EQ(status, ended);
    EXPECT_NE(std::string::npos, ReadFile(logs.File("stderr")).find(said))
        << ReadFile(logs.File("stderr"));
}
}  // namespace

TEST(ProgramBusy, AProfileHeldByAProgramWithoutAWindowIsNamedInABox) {
    // sentrel-watch holds the profile, alone or as one of its shards, and has no window
    // to show: the start says so.
    for (const auto hold : {ProfileLock::Hold::kAlone, ProfileLock::Hold::kShared}) {
        TempDir home;
        ProfileLock lock;
        ASSERT_EQ(ProfileLock::kAcquired, lock.Acquire(home.Path() + "/", hold));
        ExpectRefusal(home, 0, "in use by another program");
        EXPECT_FALSE(std::ifstream(home.File("user.mdb")).good()) << "nothing was written";
    }
}

TEST(ProgramBusy, ALockThatCannotBeTakenStopsTheStart) {
    // A folder where the lock file should be: two programs could write one list.
    TempDir home;
    ASSERT_EQ(0, mkdir(home.File("sentrel.lock").c_str(), 0700));
    ExpectRefusal(home, 1, "cannot be locked");
    EXPECT_FALSE(std::ifstream(home.File("user.mdb")).good()) << "nothing was written";
}

TEST_F(ProgramRun, ASecondStartOfAStoppedProgramSaysItDoesNotAnswer) {
    kill(m_pid, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    ExpectRefusal(m_home, 1, "does not answer");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    kill(m_pid, SIGCONT);
    kill(m_pid, SIGTERM);
    EXPECT_EQ(0, WaitEnd());
}

TEST_F(LostDisplayRun, WithoutATrayMinNeverHidesTheWindowForGood) {
    // No tray host on this display: hidden, the window could never come back.
    const std::vector<std::string> env = {"DISPLAY=" + m_display};
    ClickAt(m_window, 466, 9, env);  // MIN
    EXPECT_FALSE(WaitVisible(m_pid, m_window, false, 1500ms, env)) << "not withdrawn";
}
