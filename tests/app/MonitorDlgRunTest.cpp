// Monitoring in the main window: the checks before a start, watchers per row, Stop, and
// what the watchers' messages do to the list.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include "ModalHook.h"
#include "MonitorFixture.h"
#include "base/ThreadMessages.h"
#include "controls/Notice.h"
#include "delivery/SocketLayer.h"
#include "store/UrlStore.h"
#include "testsupport/HookReceiver.h"
#include "testsupport/ScriptedSmtpServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

const char* const kIni = "interval=1\nbalertwav=1\nbalertemail=0\n";

// Answers a native message box that is running its own loop. wx cannot end such a box;
// the toolkit's call is taken from the library wx already loaded.
void AnswerNativeBox(wxMessageDialog& box) {
    using Respond = void (*)(void*, int);
    static auto respond = reinterpret_cast<Respond>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    constexpr int kResponseOk = -5;
    ASSERT_NE(nullptr, respond);
    if (box.GetHandle()) respond(box.GetHandle(), kResponseOk);
}

std::vector<std::pair<std::string, std::string>> Rows(int n) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int i = 0; i < n; ++i) rows.push_back({"/p" + std::to_string(i), "0"});
    return rows;
}

}  // namespace

TEST_F(MonitorFixture, StartIsRefusedWithoutRowsWithTooManyRowsOrWithoutAnInterval) {
    struct Case {
        int rows;
        const char* ini;
        const char* warning;
    } cases[] = {
        {0, kIni, "列表中没有发现任何要监控的网址！"},
        {51, kIni, "不允许同时监控50个以上的网址！"},
        {1, "interval=0\n", "监控间隔不能小于1秒！"},
    };
    for (const Case& c : cases) {
        CMonitorDlg* dlg = OpenWith(c.ini, Rows(c.rows));
        wxTEST_DIALOG(Press(dlg, IDC_START), ExpectMessage(c.warning));
        EXPECT_TRUE(StartButton(dlg)->IsActive()) << c.warning;
        EXPECT_FALSE(StopButton(dlg)->IsActive());
        EXPECT_EQ(0, dlg->Session().ActiveWatchers());
        EXPECT_EQ(U("就绪"), StatusText(dlg));
    }
}

TEST_F(MonitorFixture, FiftyRowsStartFiftyWatchersAndStopEndsThemWithin600ms) {
    CMonitorDlg* dlg = OpenWith(kIni, Rows(50));
    Press(dlg, IDC_START);
    EXPECT_EQ(U("共 50 条网址记录！"), StatusText(dlg));
    EXPECT_FALSE(StartButton(dlg)->IsActive());
    EXPECT_TRUE(StopButton(dlg)->IsActive());
    EXPECT_EQ(50, dlg->Session().ActiveWatchers());
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(1, m_pages.Hits("/p" + std::to_string(i))) << i;
    EXPECT_EQ(",", UpdatedRows(dlg)) << "stored sizes of 0 never mark";

    Press(dlg, IDC_STOP);
    EXPECT_TRUE(AllRows("等待停止..."));
    EXPECT_EQ(U("用户停止！"), StatusText(dlg));
    EXPECT_TRUE(StartButton(dlg)->IsActive()) << "Start is usable at once";
    EXPECT_FALSE(StopButton(dlg)->IsActive());
    auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return AllRows("停止"); }, 600ms));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 600ms);
    EXPECT_EQ(0, dlg->Session().ActiveWatchers());
}

TEST_F(MonitorFixture, TheFirstSizeIsComparedWithTheStoredOneAndAFailureIsNoSize) {
    m_pages.Set("/stale", 1234);
    m_pages.Set("/new", 777);
    m_pages.Set("/same", 888);
    m_pages.Set("/gone", -1);
    CMonitorDlg* dlg =
        OpenWith(kIni, {{"/stale", "5000"}, {"/new", "0"}, {"/same", "888"}, {"/gone", "5000"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(
        WaitFor([&] { return Cell(0, 3) == "1234" && Cell(3, 2) == "访问失败：HTTP 404"; }));
    EXPECT_EQ(",0,", UpdatedRows(dlg)) << "a page that fails is not a change";
    const char* status[] = {"有更新！", "监控中", "监控中", "访问失败：HTTP 404"};
    const char* size[] = {"1234", "777", "888", "5000"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(status[i], Cell(i, 2)) << i;
        EXPECT_EQ(size[i], Cell(i, 3)) << i << ": a failure keeps the stored size";
        EXPECT_EQ(i == 0, IsRed(i)) << i;
    }
    const wxColour failing = CUrlListModel::RowColour(dlg->Session().Row(3));
    EXPECT_NE(wxColour(0, 0, 0), failing);
    EXPECT_NE(wxColour(255, 0, 0), failing);
    SelectRows(dlg, {3});
    wxDataViewEvent selected(wxEVT_DATAVIEW_SELECTION_CHANGED, UrlList(dlg), wxDataViewItem());
    UrlList(dlg)->ProcessWindowEvent(selected);
    EXPECT_NE(wxNOT_FOUND, StatusText(dlg).Find(U("起访问失败"))) << "since when";
    EXPECT_TRUE(dlg->Tray().bBlinking);

    // The page comes back with its old size: recovered, then watched as before, unmarked.
    m_pages.Set("/gone", 5000);
    ASSERT_TRUE(WaitFor([&] { return Cell(3, 2) == "已恢复"; }, 5s));
    ASSERT_TRUE(WaitFor([&] { return Cell(3, 2) == "监控中"; }, 5s));
    EXPECT_FALSE(IsRed(3));
    EXPECT_EQ(wxColour(0, 0, 0), CUrlListModel::RowColour(dlg->Session().Row(3)));
    EXPECT_EQ(",0,", UpdatedRows(dlg));
}

TEST_F(MonitorFixture, AChangeDuringTheRunMarksButKeepsTheStartSize) {
    m_pages.Set("/p", 1000);
    CMonitorDlg* dlg = OpenWith(kIni, {{"/p", "0"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 3) == "1000"; }));
    EXPECT_EQ(",", UpdatedRows(dlg));
    m_pages.Set("/p", 2000);
    ASSERT_TRUE(WaitFor([&] { return UpdatedRows(dlg) == ",0,"; }, 5s));
    EXPECT_EQ("1000", Cell(0, 3)) << "column 3 holds the size of the start";
    EXPECT_TRUE(IsRed(0));

    Press(dlg, IDC_STOP);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 2) == "停止"; }, 2s));
    EXPECT_TRUE(IsRed(0)) << "the mark outlives Stop";
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 3) == "2000"; }));
    EXPECT_EQ(",0,", UpdatedRows(dlg));
    EXPECT_TRUE(IsRed(0));
    EXPECT_EQ("监控中", Cell(0, 2)) << "already marked: the mark leaves the fresh status alone";
}

TEST_F(MonitorFixture, AChangeAndAFailureReachTheWebhookWithinTwoSecondsAndAnOutageShows) {
    HookReceiver hook, broken([](int) { return 500; });
    m_pages.Set("/p", 1000);
    m_pages.Set("/gone", -1);
    CMonitorDlg* dlg = OpenWith(std::string(kIni) + "failafter=1\nwebhook=" + hook.Url() +
                                    "\\n" + broken.Url() + "\n",
                                {{"/p", "1000"}, {"/gone", "5"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 3) == "1000"; }));
    m_pages.Set("/p", 2000);
    ASSERT_TRUE(WaitFor([&] { return IsRed(0); }, 5s));
    const auto marked = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return hook.Posts().size() >= 2; }, 2s)) << "within two seconds";
    std::string kinds;
    for (const HookReceiver::Post& post : hook.Posts())
        kinds += post.body.find("\"kind\":\"changed\",\"old_size\":1000,\"new_size\":2000") !=
                         std::string::npos
                     ? "C"
                     : post.body.find("\"kind\":\"failing\"") != std::string::npos ? "F" : "?";
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ("CF", kinds);
    EXPECT_LT(hook.Posts().back().when - marked, 2s);
    // The broken hook's outage is said once in the status line, not once per event.
    ASSERT_TRUE(WaitFor([&] { return StatusText(dlg).Contains("HTTP 500"); }, 15s));
    EXPECT_EQ(wxString::FromUTF8("推送到 " + broken.Url() + " 失败：HTTP 500"), StatusText(dlg));
}

TEST_F(MonitorFixture, EachRowsWatcherProbesAtTheRowsOwnInterval) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/every", "100"}, {"/daily", "100"}});  // interval=1
    dlg->Session().SetInterval(dlg->Session().Row(1).id, 86400);
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return m_pages.Hits("/every") >= 3; }, 5s));
    EXPECT_EQ(1, m_pages.Hits("/daily")) << "its own day, not the program's second";
}

TEST_F(MonitorFixture, TheSetKeepsEachRowOnceAndRowOneIsNotRowEleven) {
    CMonitorDlg* dlg = OpenWith(kIni, Rows(12));
    Mark(dlg, 3);
    Mark(dlg, 7);
    Mark(dlg, 7);
    EXPECT_EQ(",3,7,", UpdatedRows(dlg));
    EXPECT_EQ("有更新！", Cell(7, 2));
    Mark(dlg, 3, false);
    EXPECT_EQ(",7,", UpdatedRows(dlg));
    EXPECT_EQ("停止", Cell(3, 2)) << "restored to the stopped text";
    EXPECT_FALSE(IsRed(3));
    Mark(dlg, 11);
    Mark(dlg, 1, false);
    EXPECT_EQ(",7,11,", UpdatedRows(dlg));
    EXPECT_FALSE(IsRed(1));
    EXPECT_TRUE(IsRed(11));
    EXPECT_TRUE(dlg->Tray().bBlinking);
    Mark(dlg, 7, false);
    Mark(dlg, 11, false);
    EXPECT_EQ(",", UpdatedRows(dlg));
    EXPECT_FALSE(dlg->Tray().bBlinking) << "no mark left: the blinking stops";
    EXPECT_EQ(1, dlg->Tray().nIcon);
    EXPECT_EQ(U("HalvexSentrel"), dlg->Tray().tip);
    Mark(dlg, 40, true);  // no such row
    EXPECT_EQ(",", UpdatedRows(dlg));
}

TEST_F(MonitorFixture, StaleAndUnknownMessagesChangeNothing) {
    m_pages.Set("/a", 300);
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    const int oldWatch = dlg->Session().WatchOfRow(IdOf(dlg, 0));
    ASSERT_GT(oldWatch, 0);
    Press(dlg, IDC_STOP);
    ASSERT_TRUE(WaitFor([&] { return AllRows("停止"); }, 2s));
    Press(dlg, IDC_START);
    EXPECT_EQ(2, dlg->Session().RunNumber());
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    EXPECT_NE(oldWatch, dlg->Session().WatchOfRow(IdOf(dlg, 0)));

    // Late messages of the first run, and of watches that never existed.
    for (int watch : {oldWatch, 999999, -1, 0}) {
        dlg->Session().Deliver({WM_PAGE_SIZE, watch, ProbeResult::Size(4242)});
        dlg->Session().Deliver({WM_WATCH_ENDED, watch, {}, true});
    }
    EXPECT_EQ(",", UpdatedRows(dlg));
    EXPECT_EQ("300", Cell(0, 3));
    EXPECT_TRUE(AllRows("监控中"));
    EXPECT_EQ(2, dlg->Session().ActiveWatchers());
}

TEST_F(MonitorFixture, ARefusedSessionAndMailResultsShowTheirTexts) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    dlg->Session().Deliver({WM_WATCH_ENDED, dlg->Session().WatchOfRow(IdOf(dlg, 1)), {}, true});
    ASSERT_TRUE(WaitFor([&] { return Cell(1, 2) == "网络失败！"; }));
    EXPECT_EQ("监控中", Cell(0, 2)) << "the other watchers run on";

    // Each mail's own result on the status line: refused, socket start-up failed, sent.
    SmtpScript refuse;
    refuse.pass = "535 Error: authentication failed\r\n";
    ScriptedSmtpServer refusing(refuse), accepting(SmtpScript{});
    struct Case {
        const ScriptedSmtpServer* server;
        bool socketsFail;
        const char* text;
    } cases[] = {{&refusing, false, "邮件发送失败！原因：535 Error: authentication failed"},
                 {&refusing, true, "初始化Socket失败！"},
                 {&accepting, false, ""}};
    Settings mail = dlg->Values();
    mail.m_bAlertEmail = true;
    mail.m_strEmailRcv = "r@example.com";
    mail.m_strSendUser = "alice";
    mail.m_strSendPwd = "pw";
    dlg->ApplySettings(mail);
    for (const Case& c : cases) {
        setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
        setenv("SENTREL_SMTP_PORT", std::to_string(c.server->Port()).c_str(), 1);
        SetSocketStartupFailsForTesting(c.socketsFail);
        SetStatusTextForTest(dlg, "?");
        Mark(dlg, 0);
        EXPECT_TRUE(WaitFor([&] { return StatusText(dlg) == U(c.text); })) << c.text;
        SetSocketStartupFailsForTesting(false);
    }
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
}

TEST_F(MonitorFixture, DeletingARowWhileRunningStopsOnlyItsWatcherAndMarksStayWithTheirPages) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}, {"/c", "0"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    Mark(dlg, 2);
    SelectRows(dlg, {1});
    Command(dlg, ID_DELETE_URLS);
    ASSERT_EQ(2, dlg->Session().RowCount());
    EXPECT_EQ(m_pages.Url("/c"), Cell(1, 0));
    EXPECT_EQ(",1,", UpdatedRows(dlg)) << "the mark moved up with its page";
    EXPECT_TRUE(IsRed(1));
    EXPECT_FALSE(IsRed(0));
    EXPECT_EQ(2, dlg->Session().ActiveWatchers());

    const int b = m_pages.Hits("/b"), a = m_pages.Hits("/a");
    ASSERT_TRUE(WaitFor([&] { return m_pages.Hits("/a") >= a + 2; }, 5s));
    EXPECT_EQ(b, m_pages.Hits("/b")) << "the deleted row's watcher has stopped";
    Press(dlg, IDC_STOP);
    ASSERT_TRUE(WaitFor([&] { return AllRows("停止"); }, 2s));
}

TEST_F(MonitorFixture, AThreadThatCannotStartStopsThisStartAndLeavesStartUsable) {
    CMonitorDlg* dlg = OpenWith(kIni, Rows(5));
    // The system makes two threads, then no more.
    int made = 0;
    WatchSession& session = dlg->Session();
    session.SetWatcherStarter(
        [&](WatchEntry e) { return ++made <= 2 && session.StartThread(std::move(e)); });
    wxTEST_DIALOG(Press(dlg, IDC_START), ExpectMessage("Cannot Start New Thread"));
    EXPECT_TRUE(StartButton(dlg)->IsActive());
    EXPECT_FALSE(StopButton(dlg)->IsActive());
    EXPECT_TRUE(dlg->Session().RunFlag()->IsStop());
    ASSERT_TRUE(WaitFor([&] { return dlg->Session().ActiveWatchers() == 0; }, 3s));
    EXPECT_EQ("停止", Cell(0, 2));
    EXPECT_EQ("停止", Cell(1, 2));
    EXPECT_EQ("", Cell(2, 2)) << "rows never started keep their text";
    EXPECT_EQ(0, session.WatcherThreads()) << "both ended and were joined";
}

TEST_F(MonitorFixture, MessagesAreHandledWhileAMessageBoxIsOpen) {
    m_pages.Set("/a", 5555);
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "1"}});
    Press(dlg, IDC_START);
    // A real, native box: its own loop runs until the timer below answers it.
    wxMessageDialog box(dlg, "box", "box", wxOK);
    std::string seen;
    wxTimer timer;
    auto started = std::chrono::steady_clock::now();
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        const bool done = UpdatedRows(dlg) == ",0,";
        if (!done && std::chrono::steady_clock::now() - started < 10s) return;
        seen = Cell(0, 2);
        timer.Stop();
        AnswerNativeBox(box);
    });
    timer.Start(50);
    box.ShowModal();
    EXPECT_EQ("有更新！", seen) << "the size arrived and marked the row inside the box's loop";
}

TEST_F(MonitorFixture, AQuickStopAndStartLeavesOneWatcherPerUrl) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}});
    for (int i = 0; i < 3; ++i) {
        Press(dlg, IDC_START);
        Press(dlg, IDC_STOP);
    }
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 2) == "监控中"; }));
    EXPECT_TRUE(WaitFor([&] { return dlg->Session().WatcherThreads() == 1; }, 3s))
        << "the watchers of the earlier runs ended on their own flags";
    const int before = m_pages.Hits("/a");
    const auto from = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return m_pages.Hits("/a") >= before + 3; }, 6s));
    EXPECT_GE(std::chrono::steady_clock::now() - from, 1900ms)
        << "one probe a second, not one per run";
    EXPECT_EQ(1, dlg->Session().ActiveWatchers());
}

TEST_F(MonitorFixture, AQuitWhileADialogIsOpenEndsItAndTheExitStoresWhatChangedLater) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}});
    int quits = 0;
    dlg->SetQuitHandler([&] { ++quits; });
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 2) == "监控中"; }));
    // The tray's 退出 (or a quit signal) while Options, then a message box, is open: each
    // ends as Cancel instead of holding the exit until someone answers.
    dlg->CallAfter([dlg] {
        EXPECT_EQ(1, ModalDialogsOpen());
        dlg->SaveState();  // a quit signal saves at once
        dlg->RequestQuit();
    });
    dlg->OnOptions();
    EXPECT_EQ(1, quits);
    dlg->CallAfter([dlg] { dlg->RequestQuit(); });
    EXPECT_EQ(wxID_CANCEL, ShowNotice(dlg, "还在吗？", wxOK | wxCANCEL));
    EXPECT_EQ(2, quits);
    EXPECT_EQ(0, ModalDialogsOpen());
    EXPECT_TRUE(StopButton(dlg)->IsActive()) << "monitoring runs until the real exit";
    EXPECT_EQ("监控中", Cell(0, 2));

    // Changed after the early save: the exit stores it all the same.
    Settings s = dlg->Values();
    s.m_nInterval = 44;
    dlg->ApplySettings(s);
    AddRow(dlg, "http://added-late/");
    Close();
    EXPECT_NE(std::string::npos, ReadFile(Home("sentrel.ini")).find("interval=44\n"));
    std::vector<UrlRow> rows;
    std::string error;
    UrlStore(Home("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("http://added-late/", rows[1].url);
}
