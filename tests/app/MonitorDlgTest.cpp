// The main window on a real (virtual) display.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/uiaction.h>

#include <functional>
#include <thread>

#include "DialogFixture.h"
#include "ModalHook.h"
#include "MonitorFixture.h"
#include "app/MonitorApp.h"
#include "base/Translate.h"
#include "controls/OpenUrl.h"
#include "platform/Keyring.h"
#include "probe/WatchThread.h"
#include "res/resource.h"
#include "support/CCore.h"
#include "support/Product.h"
#include "testsupport/English.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
wxRect Rect(wxWindow* w) {
    return wxRect(w->GetPosition(), w->GetSize());
}
}  // namespace

TEST_F(DialogFixture, WindowTakesTheBackgroundSizeAndPlacesItsControls) {
    CMonitorDlg* dlg = Open();
    EXPECT_EQ(wxSize(530, 319), dlg->GetClientSize());
    EXPECT_EQ(wxSize(530, 319), dlg->GetSize()) << "no frame, no caption";
    EXPECT_FALSE(dlg->HasFlag(wxCAPTION));
    EXPECT_EQ(wxRect(20, 30, 60, 54), Rect(StartButton(dlg)));
    EXPECT_EQ(wxRect(90, 30, 60, 54), Rect(StopButton(dlg)));
    EXPECT_EQ(wxRect(430, 1, 27, 17), Rect(PopButton(dlg)));
    EXPECT_EQ(wxRect(457, 1, 27, 17), Rect(MinButton(dlg)));
    EXPECT_EQ(wxRect(484, 1, 35, 17), Rect(QuitButton(dlg)));
    EXPECT_EQ(wxRect(3, 94, 524, 194), Rect(UrlList(dlg)));
    EXPECT_EQ(wxRect(360, 299, 100, 200), Rect(FooterLink(dlg)));
    EXPECT_EQ("Sentrel", dlg->GetTitle());
    EXPECT_EQ(wxString::FromUTF8("就绪"), StatusText(dlg));
}

TEST_F(DialogFixture, ListHasItsFourColumns) {
    wxDataViewCtrl* list = UrlList(Open());
    ASSERT_EQ(4u, list->GetColumnCount());
    const char* headers[] = {"监控网址", "备注", "状态", "字节数"};
    const int widths[] = {280, 120, 100, 0};
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(wxString::FromUTF8(headers[i]), list->GetColumn(i)->GetTitle());
        // The last shown column takes what is left of the list's width.
        if (i < 2) {
            EXPECT_EQ(widths[i], list->GetColumn(i)->GetWidth()) << i;
        }
        if (i == 2) {
            EXPECT_LE(widths[i], list->GetColumn(i)->GetWidth());
        }
    }
    EXPECT_TRUE(list->GetColumn(3)->IsHidden()) << "the byte count is not shown";
    EXPECT_TRUE(list->HasFlag(wxDV_MULTIPLE)) << "several rows can be selected";
    EXPECT_TRUE(list->HasFlag(wxDV_HORIZ_RULES) && list->HasFlag(wxDV_VERT_RULES));
}

// The window's own texts in its first size: the status line's messages (with counts of
// five digits), the footer link, the column headers and the short status words.
TEST_F(DialogFixture, TheWindowsOwnTextsShowWholeInEitherLanguage) {
    for (const bool english : {false, true}) {
        std::unique_ptr<InEnglish> language;
        if (english) language = std::make_unique<InEnglish>();
        CMonitorDlg* dlg = Open();
        const char* in = english ? "English" : "Chinese";
        const std::string many = "10000";
        const std::string lines[] = {
            Tr("就绪"), Tr("准备启动..."), Tr("用户停止！"), Tr("执行安全退出..."),
            Tr("不是网页地址，未打开。"), Fill(Tr("正在启动监控线程 {0}"), {many}),
            Fill(TrN("共 {0} 条网址记录！", "共 {0} 条网址记录！", 10000), {many}),
            Fill(TrN("成功导入 {0} 条网址记录！", "成功导入 {0} 条网址记录！", 10000), {many}),
            Fill(TrN("成功导出 {0} 条网址记录！", "成功导出 {0} 条网址记录！", 10000), {many})};
        wxWindow* status = dlg->FindWindow(IDC_STATUS);
        for (const std::string& line : lines)
            EXPECT_LE(status->GetTextExtent(wxString::FromUTF8(line)).x, status->GetSize().x)
                << in << ": " << line;
        EXPECT_LT(status->GetRect().GetRight(), FooterLink(dlg)->GetPosition().x) << in;
        EXPECT_LE(FooterLink(dlg)->TextExtent().x, FooterLink(dlg)->GetSize().x) << in;
        EXPECT_LE(FooterLink(dlg)->GetRect().x + FooterLink(dlg)->TextExtent().x,
                  dlg->GetClientSize().x) << in;
        wxDataViewCtrl* list = UrlList(dlg);
        constexpr int kPadding = 16;  // the cell's and the header's margins
        for (unsigned c = 0; c < 3; ++c)
            EXPECT_LE(list->GetTextExtent(list->GetColumn(c)->GetTitle()).x + kPadding,
                      list->GetColumn(c)->GetWidth())
                << in << ": " << list->GetColumn(c)->GetTitle();
        for (const char* word : {"监控中", "有更新！", "已恢复", "等待停止...", "停止", "网络失败！"})
            EXPECT_LE(list->GetTextExtent(wxString::FromUTF8(Tr(word))).x + kPadding,
                      list->GetColumn(2)->GetWidth())
                << in << ": " << Tr(word);
        Close();
    }
}

TEST_F(DialogFixture, MonitoringIsStoppedAfterStartUp) {
    CMonitorDlg* dlg = Open();
    EXPECT_TRUE(StartButton(dlg)->IsActive());
    EXPECT_FALSE(StopButton(dlg)->IsActive());
    EXPECT_EQ(IDB_START_ACTIVE, StartButton(dlg)->ShownBitmap());
    EXPECT_EQ(IDB_STOP_NORMAL, StopButton(dlg)->ShownBitmap());
    EXPECT_EQ(",", UpdatedRows(dlg));
    EXPECT_EQ(0, dlg->Tray().nPhase);
    EXPECT_EQ(m_home.Path() + "/alert.wav", g_pCore->Paths().wavPath);
}

TEST_F(DialogFixture, SettingsAreReadAndTheUserNameNormalised) {
    WriteFile(Home("sentrel.ini"),
              "interval=15\nbalertwav=0\nballertemail=1\nbalertemail=1\nemailrcv=me@example.com\n"
              "senduser=Alice@163.COM\nsendpwd=p=w\\\\d\n");
    CMonitorDlg* dlg = Open();
    EXPECT_EQ(15, dlg->Values().m_nInterval);
    EXPECT_FALSE(dlg->Values().m_bAlertWav);
    EXPECT_TRUE(dlg->Values().m_bAlertEmail);
    EXPECT_EQ("me@example.com", dlg->Values().m_strEmailRcv);
    EXPECT_EQ("alice", dlg->Values().m_strSendUser);
    EXPECT_EQ("p=w\\d", dlg->Values().m_strSendPwd);
    Close();
    std::string ini = ReadFile(Home("sentrel.ini"));
    EXPECT_NE(std::string::npos, ini.find("\nsenduser=alice\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("\nballertemail=1\n")) << "other keys are kept";
}

TEST_F(DialogFixture, DefaultsWhenNothingWasStored) {
    CMonitorDlg* dlg = Open();
    EXPECT_EQ(60, dlg->Values().m_nInterval);
    EXPECT_TRUE(dlg->Values().m_bAlertWav);
    EXPECT_FALSE(dlg->Values().m_bAlertEmail);
    EXPECT_EQ("", dlg->Values().m_strEmailRcv);
    EXPECT_FALSE(dlg->ShowStartupProblems());
}

TEST_F(DialogFixture, ShutdownStoresEverySettingOwnerOnly) {
    CMonitorDlg* dlg = Open();
    Settings s;
    s.m_nInterval = 0;
    s.m_bAlertWav = false;
    s.m_bAlertEmail = true;
    s.m_strEmailRcv = "r@example.com";
    s.m_strSendUser = "bob";
    s.m_strSendPwd = "line\nbreak";
    dlg->ApplySettings(s);
    Close();
    struct stat st {};
    ASSERT_EQ(0, stat(Home("sentrel.ini").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    CMonitorDlg* again = Open();
    EXPECT_EQ(0, again->Values().m_nInterval);
    EXPECT_FALSE(again->Values().m_bAlertWav);
    EXPECT_TRUE(again->Values().m_bAlertEmail);
    EXPECT_EQ("r@example.com", again->Values().m_strEmailRcv);
    EXPECT_EQ("bob", again->Values().m_strSendUser);
    EXPECT_EQ("line\nbreak", again->Values().m_strSendPwd);
}

TEST_F(DialogFixture, ACorruptSettingsFileIsReportedOnceAndDefaultsUsed) {
    WriteFile(Home("sentrel.ini"), std::string("\x00\x01\xff garbage", 11));
    CMonitorDlg* dlg = Open();  // the report waits for the event loop
    EXPECT_EQ(60, dlg->Values().m_nInterval);
    wxTEST_DIALOG(EXPECT_TRUE(dlg->ShowStartupProblems()), wxExpectModal<wxMessageDialog>(wxID_OK));
    EXPECT_FALSE(dlg->ShowStartupProblems()) << "told once";
    Close();
    EXPECT_EQ(std::string("\x00\x01\xff garbage", 11), ReadFile(Home("sentrel.ini.bad")))
        << "the unusable file is kept aside";
}

TEST_F(DialogFixture, EscapeAndEnterNeverReachTheDialog) {
    // A key the window's hook lets through goes on to wx's dialog handling, which takes
    // Escape for Cancel; the hook must keep exactly these keys to itself.
    CMonitorDlg* dlg = Open();
    for (int key : {int(WXK_ESCAPE), int(WXK_RETURN), int(WXK_NUMPAD_ENTER), int('a')}) {
        wxKeyEvent hook(wxEVT_CHAR_HOOK);
        hook.m_keyCode = key;
        hook.SetEventObject(dlg);
        dlg->GetEventHandler()->ProcessEvent(hook);
        EXPECT_EQ(key == 'a', hook.GetSkipped()) << key;
    }
    EXPECT_TRUE(dlg->IsShown());
}

TEST_F(DialogFixture, QuitButtonEndsTheWindow) {
    CMonitorDlg* dlg = Open();
    dlg->Raise();
    Pump();
    wxUIActionSimulator sim;
    sim.MouseMove(QuitButton(dlg)->GetScreenRect().GetPosition() + wxPoint(10, 8));
    Pump();
    sim.MouseClick();
    Pump();
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_FALSE(QuitButton(dlg)->IsActive()) << "the click cleared the caption button";
}

TEST_F(DialogFixture, TheBodyDragsTheWindow) {
    CMonitorDlg* dlg = Open();
    dlg->Move(100, 100);
    dlg->Raise();
    Pump();
    wxPoint before = dlg->GetScreenPosition();
    wxUIActionSimulator sim;
    wxPoint grab = dlg->ClientToScreen(wxPoint(200, 15));  // header band, no control there
    sim.MouseMove(grab);
    Pump();
    sim.MouseDown();
    Pump();
    sim.MouseMove(grab + wxPoint(40, 30));
    Pump();
    sim.MouseUp();
    Pump();
    EXPECT_EQ(before + wxPoint(40, 30), dlg->GetScreenPosition());
}

TEST_F(DialogFixture, ShutdownEndsWatchersEvenInsideARequest) {
    // One watcher sleeping between probes, one stuck in a request that never answers.
    TestHttpServer fast([](TestServer::Conn& c, const std::string&, int) {
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
    });
    TestHttpServer stuck([](TestServer::Conn& c, const std::string& head, int index) {
        if (index == 0)
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
        else
            c.Sleep(std::chrono::seconds(30));
    });
    CMonitorDlg* dlg = Open();
    WriteFile(Home("sentrel.ini"), "interval=1\n");
    dlg->ApplySettings([&] {
        Settings s = dlg->Values();
        s.m_nInterval = 1;
        return s;
    }());
    AddRow(dlg, fast.Url("/"));
    AddRow(dlg, stuck.Url("/"));
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return stuck.RequestCount() >= 2; }));
    auto start = std::chrono::steady_clock::now();
    Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
        << "every watcher ended and was joined";
}

TEST_F(DialogFixture, ShutdownWritesStopShowsTheExitTextAndPauses) {
    CMonitorDlg* dlg = Open();
    RunFlagPtr flag = dlg->Session().RunFlag();
    flag->Set("RUN");
    auto start = std::chrono::steady_clock::now();
    CMonitorApp::Shutdown(*dlg);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ("STOP", flag->Text());
    EXPECT_EQ(wxString::FromUTF8("执行安全退出..."), StatusText(dlg));
    EXPECT_GE(took, std::chrono::milliseconds(600));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST_F(DialogFixture, TheFooterLinkOpensTheProgramsOwnGuide) {
    std::vector<std::string> opened;
    SetUrlOpenerForTesting([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    CMonitorDlg* dlg = Open();
    const std::string guide = g_pCore->Paths().guidePath;
    EXPECT_EQ(Homepage(guide), FooterLink(dlg)->GetUrl().utf8_string());
    FooterLink(dlg)->HandleLeftDown(wxPoint(5, 5));
    SetUrlOpenerForTesting(nullptr);
    ASSERT_EQ(1u, opened.size()) << "the guide, a local page the program owns, may be opened";
    EXPECT_EQ(Homepage(guide), opened[0]);
    EXPECT_FALSE(OpenUrlInBrowser("file:///etc/passwd")) << "no other local file";
}

TEST_F(DialogFixture, TheKeyringTakesAnOldPasswordAtStartAndAnEmptiedOneLeavesIt) {
    // libsecret's file backend: a keyring without a daemon, in this test's own folder.
    setenv("SECRET_BACKEND", "file", 1);
    setenv("SECRET_FILE_TEST_PATH", Home("keyring").c_str(), 1);
    setenv("SECRET_FILE_TEST_PASSWORD", "test", 1);
    WriteFile(Home("sentrel.ini"), "senduser=alice\nsendpwd=OldSecret1\n");
    CMonitorDlg* dlg = Open();
    // Moved at start-up, without waiting for an Options or an exit that changes anything.
    EXPECT_TRUE(WaitFor(
        [&] { return ReadFile(Home("sentrel.ini")).find("OldSecret1") == std::string::npos; }));
    std::string kept, why;
    EXPECT_EQ(KeyringAnswer::kYes, KeyringLookup("smtp.163.com", "alice", kept, why));
    EXPECT_EQ("OldSecret1", kept);
    Close();
    dlg = Open();
    EXPECT_TRUE(dlg->Values().m_bSendPwdInKeyring) << "not read at start-up";

    // Options with the password emptied, then OK: the keyring forgets it too.
    Settings s = dlg->Values();
    s.m_strSendPwd.clear();
    s.m_bSendPwdInKeyring = false;
    dlg->ApplySettings(s);
    Close();
    EXPECT_EQ(KeyringAnswer::kNo, KeyringLookup("smtp.163.com", "alice", kept, why));
    dlg = Open();
    EXPECT_EQ("", dlg->Values().m_strSendPwd) << "the old password never comes back";
    EXPECT_EQ(KeyringAnswer::kNo, KeyringLookup("smtp.163.com", "alice", kept, why));
    for (const char* name :
         {"SECRET_BACKEND", "SECRET_FILE_TEST_PATH", "SECRET_FILE_TEST_PASSWORD"})
        unsetenv(name);
}

TEST_F(DialogFixture, TheWindowGrowsByItsGripAndOpensAgainAsItWasLeft) {
    CMonitorDlg* dlg = Open();
    dlg->Raise();
    wxTheApp->ProcessPendingEvents();
    // Drag the grip in the bottom-right corner 170 right and 81 down.
    wxUIActionSimulator sim;
    const wxPoint grip = dlg->ClientToScreen(wxPoint(524, 313));
    sim.MouseMove(grip);
    sim.MouseDown();
    for (int i = 1; i <= 10; ++i) {
        sim.MouseMove(grip + wxPoint(17 * i, 8 * i + (i == 10)));
        wxTheApp->Yield();
    }
    sim.MouseUp();
    wxTheApp->Yield();
    ASSERT_EQ(wxSize(700, 400), dlg->GetClientSize());
    EXPECT_EQ(wxRect(3, 94, 694, 275), Rect(UrlList(dlg))) << "the list takes what the window gains";
    EXPECT_EQ(wxRect(654, 1, 35, 17), Rect(QuitButton(dlg)));
    EXPECT_EQ(wxRect(530, 380, 100, 200), Rect(FooterLink(dlg)));
    // GTK takes a column's width when it next lays the list out.
    auto settle = [](const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i) {
            wxTheApp->Yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    UrlList(dlg)->GetColumn(1)->SetWidth(150);
    settle([&] { return UrlList(dlg)->GetColumn(1)->GetWidth() == 150; });
    // Shrinking below the drawing's size is refused.
    dlg->SetClientSize(100, 100);
    EXPECT_EQ(wxSize(530, 319), dlg->GetClientSize());
    dlg->SetClientSize(700, 400);
    Close();
    EXPECT_NE(std::string::npos, ReadFile(Home("sentrel.ini")).find("windowwidth=700\n"));
    EXPECT_NE(std::string::npos, ReadFile(Home("sentrel.ini")).find("columns=280,150,")) << ReadFile(Home("sentrel.ini"));
    dlg = Open();
    settle([&] { return UrlList(dlg)->GetColumn(1)->GetWidth() == 150; });
    EXPECT_EQ(wxSize(700, 400), dlg->GetClientSize());
    EXPECT_EQ(150, UrlList(dlg)->GetColumn(1)->GetWidth());
    EXPECT_EQ(wxRect(3, 94, 694, 275), Rect(UrlList(dlg)));
}
