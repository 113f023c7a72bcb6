// The main job through the real program: a page that changed while the program was
// closed turns its row red after Start, and one alert mail names it (real SMTP server),
// as does one POST to a webhook.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "ProgramWindow.h"
#include "store/UrlStore.h"
#include "testsupport/HookReceiver.h"
#include "testsupport/Process.h"
#include "testsupport/SmtpSink.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

// Red text pixels in the list's first row, read off a screenshot of the window.
int RedPixelsInFirstRow(const std::string& window, const std::string& dir) {
    const std::string shot = dir + "/shot.ppm";
    std::remove(shot.c_str());
    RunAndCapture({"/usr/bin/import", "-window", window, "-depth", "8", shot});
    std::ifstream in(shot, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    if (magic != "P6" || w < 530 || h < 319 || max != 255) return -1;
    std::vector<unsigned char> px(static_cast<std::size_t>(w) * h * 3);
    in.read(reinterpret_cast<char*>(px.data()), static_cast<std::streamsize>(px.size()));
    int red = 0;
    // The list starts at y 94 under a header of about 25 px; its first row follows.
    for (int y = 115; y < 145; ++y)
        for (int x = 5; x < 500; ++x) {
            const unsigned char* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
            if (p[0] > 160 && p[1] < 90 && p[2] < 90) ++red;
        }
    return red;
}

}  // namespace

TEST(ProgramMonitor, StartMarksAPageThatChangedWhileClosedAndMailsItOnce) {
    TempDir home;
    const std::string mail = home.File("mail.txt");
    SmtpSink smtp(mail);
    ASSERT_TRUE(smtp.Ready()) << "the SMTP server did not start (python3-aiosmtpd?)";
    HookReceiver hook;

    std::atomic<int> probes{0};
    TestHttpServer pages([&](TestServer::Conn& c, const std::string&, int) {
        ++probes;
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: 2345\r\n\r\n");
        c.Close();
    });
    const std::string url = pages.Url("/news");
    WriteFile(home.File("sentrel.ini"),
              "interval=1\nbalertwav=1\nbalertemail=1\nemailrcv=bob@example.com\n"
              "senduser=alice\nsendpwd=s3cret\nwebhook=" + hook.Url() + "\n");
    std::string error;
    ASSERT_TRUE(UrlStore(home.File("user.mdb"))
                    .Save({{url, "新闻", "1000"}, {pages.Url("/same"), "", "2345"}}, error));

    pid_t pid = Spawn({SENTREL_BIN_DIR "/sentrel"},
                      {"SENTREL_HOME=" + home.Path(), "SENTREL_SMTP_HOST=127.0.0.1",
                       "SENTREL_SMTP_PORT=" + smtp.Port()});
    ASSERT_GT(pid, 0);
    const std::string window = WaitForWindow(pid, 15s);
    ASSERT_FALSE(window.empty()) << "the window did not appear";
    EXPECT_EQ(0, RedPixelsInFirstRow(window, home.Path())) << "nothing is red before Start";

    ClickAt(window, 50, 57);  // Start: 20, 30, 60 x 54
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (smtp.Delivered() < 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_EQ(1, smtp.Delivered()) << "no alert mail arrived";
    int red = 0;
    for (deadline = std::chrono::steady_clock::now() + 5s;
         (red = RedPixelsInFirstRow(window, home.Path())) <= 50 &&
         std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(100ms);
    EXPECT_GT(red, 50) << "the row is red on the screen";
    // More probes of the unchanged pages: no more mail.
    const int before = probes;
    ASSERT_TRUE(WaitUntil([&] { return probes >= before + 4; }, 10s));
    EXPECT_EQ(1, smtp.Delivered());
    ASSERT_EQ(1u, hook.Posts().size()) << "one POST for the one change";
    EXPECT_NE(std::string::npos, hook.Posts()[0].body.find("\"url\":\"" + url +
                                                          "\",\"note\":\"新闻\",\"kind\":\"changed\""))
        << hook.Posts()[0].body;

    const std::string received = ReadFile(mail);
    EXPECT_EQ(0u, received.find("alice@163.com\nbob@example.com\n"));
    EXPECT_NE(std::string::npos, received.find("\n有更新！"));
    EXPECT_NE(std::string::npos, received.find("相关网址：" + url + "\r\n")) << received;

    ClickAt(window, 120, 57);  // Stop: 90, 30, 60 x 54
    ClickAt(window, 500, 9);   // QUIT
    EXPECT_EQ(0, WaitExit(pid, 10s));

    std::vector<UrlRow> rows;
    UrlStore(home.File("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("2345", rows[0].kbsize) << "the size measured at the start is stored";
    EXPECT_EQ("2345", rows[1].kbsize);
}

TEST(ProgramStart, WithoutADisplayItSaysSoAndEndsAtOnce) {
    TempDir home;
    int code = -1;
    auto start = std::chrono::steady_clock::now();
    RunAndCapture({SENTREL_BIN_DIR "/sentrel"}, &code,
                  {"DISPLAY=", "WAYLAND_DISPLAY=", "SENTREL_HOME=" + home.Path()});
    EXPECT_EQ(1, code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(0, access(home.File("sentrel.ini").c_str(), F_OK)) << "nothing was started";
}

// A window that sits in the tray loads what it uses when it first uses it: not libcurl, the
// text libraries, the keyring or the sound before a run, a text or an alert needs them; nor
// a bold face (the theme's bold column headers kept a CJK one of 3 MB mapped).
TEST(ProgramStart, TheWindowLoadsNoServiceItHasNotUsed) {
    TempDir home, log;
    WriteFile(home.File("sentrel.ini"), "balertwav=1\nbalertemail=1\nsenduser=alice\n");
    std::string error;
    ASSERT_TRUE(UrlStore(home.File("user.mdb")).Save({{"http://127.0.0.1:9/", "", "100"}}, error));
    std::vector<std::string> env = LoaderLogEnv(log.Path());
    env.push_back("SENTREL_HOME=" + home.Path());
    const pid_t pid = Spawn({SENTREL_BIN_DIR "/sentrel"}, env);
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(WaitForWindow(pid, 15s).empty()) << "the window did not appear";
    std::this_thread::sleep_for(500ms);  // idle, as a window waiting for its user
    const std::string opened = LoaderLog(log.Path());
    const std::string mapped = ReadFile("/proc/" + std::to_string(pid) + "/maps");
    kill(pid, SIGTERM);
    WaitExit(pid, 10s);
    EXPECT_NE(std::string::npos, opened.find("file=libsqlite3")) << "the log is read";
    for (const char* library : {"file=libcurl", "file=libxml2", "file=libsecret", "file=libcanberra"})
        EXPECT_EQ(std::string::npos, opened.find(library)) << library;
    EXPECT_NE(std::string::npos, mapped.find("/fonts/")) << "the fonts are seen";
    EXPECT_EQ(std::string::npos, mapped.find("Bold")) << "no bold face";
}
