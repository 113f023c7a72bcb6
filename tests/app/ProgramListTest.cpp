// Editing the list through the real program: right click, "新增...", type, OK, QUIT.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ProgramWindow.h"
#include "store/UrlStore.h"
#include "testsupport/Process.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {
void Xdo(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    RunAndCapture(argv);
}
}  // namespace

TEST(ProgramList, ANewUrlTypedIntoTheDialogIsStoredWithByteCountZero) {
    TempDir home;
    pid_t pid = Spawn({SENTREL_BIN_DIR "/sentrel"}, {"SENTREL_HOME=" + home.Path()});
    ASSERT_GT(pid, 0);
    const std::string window = WaitForWindow(pid, 15s);
    ASSERT_FALSE(window.empty()) << "the window did not appear";

    // A right click beside the rows: the five-entry menu; its fifth entry is "新增...".
    std::string dialog;
    auto shown = [pid] {
        return RunAndCapture({"/usr/bin/xdotool", "search", "--all", "--onlyvisible", "--pid",
                              std::to_string(pid), ""});
    };
    for (int attempt = 0; attempt < 3 && dialog.empty(); ++attempt) {
        const std::string before = shown();
        Xdo({"mousemove", "--sync", "--window", window, "100", "200"});
        Xdo({"click", "3"});
        // The menu grabs the keyboard once it is up (a window more): then its keys choose
        // the entry. A loaded machine may take a while to show it.
        WaitUntil([&] { return shown() != before; }, 5s);
        WaitUntil([] { return false; }, 200ms);
        Xdo({"key", "Down", "Down", "Down", "Down", "Return"});
        WaitUntil([&] { return !(dialog = WindowTitled(pid, "新增网址")).empty(); }, 3s);
    }
    ASSERT_FALSE(dialog.empty()) << "新增... did not open the URL dialog";
    ASSERT_TRUE(TypeChecked("http://example.com/新闻")) << "the field never read back as typed";
    Xdo({"key", "Tab"});
    ASSERT_TRUE(TypeChecked("note"));
    Xdo({"key", "Return"});  // the default button, OK
    ASSERT_TRUE(WaitUntil([&] { return WindowTitled(pid, "新增网址").empty(); }, 5s));
    ClickAt(window, 500, 9);  // QUIT
    ASSERT_EQ(0, WaitExit(pid, 10s));

    std::vector<UrlRow> rows;
    std::string error;
    ASSERT_TRUE(UrlStore(home.File("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error))
        << error;
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("http://example.com/新闻", rows[0].url);
    EXPECT_EQ("note", rows[0].title);
    EXPECT_EQ("0", rows[0].kbsize);
}
