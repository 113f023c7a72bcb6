// The tray icon and its menu, the caption buttons POP and MIN, the blink timer and its
// sound, and the alert mails a mark sends.
#include <gtest/gtest.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

#include "ModalHook.h"
#include "MonitorFixture.h"
#include "app/Menus.h"
#include "app/TrayIcon.h"
#include "base/WorkerGroup.h"
#include "res/resource.h"
#include "testsupport/ScriptedSmtpServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

const char* const kIni = "interval=1\nbalertwav=1\nbalertemail=0\n";

std::vector<std::string> Labels(const wxMenu& menu) {
    std::vector<std::string> labels;
    for (const wxMenuItem* item : menu.GetMenuItems())
        labels.push_back(item->IsSeparator() ? "-"
                                             : item->GetItemLabelText().utf8_string() + "=" +
                                                   std::to_string(item->GetId()));
    return labels;
}

void Click(wxWindow* w) {
    wxUIActionSimulator sim;
    sim.MouseMove(w->GetScreenRect().GetPosition() + wxPoint(8, 8));
    for (int i = 0; i < 10; ++i) wxYield();
    sim.MouseClick();
    for (int i = 0; i < 10; ++i) wxYield();
}

}  // namespace

TEST_F(MonitorFixture, TheTrayDocksOnceTheWindowShowsWithItsRestingIconAndTip) {
    // Docking costs a start round trips to the display: the window shows first.
    WriteFile(Home("sentrel.ini"), kIni);
    CMonitorApp::StartCore();
    m_dlg = new CMonitorDlg(std::make_unique<CountingSound>(&m_nPlays));
    EXPECT_EQ(nullptr, m_dlg->Tray().icon);
    EXPECT_EQ(-1, m_dlg->Tray().nIcon);
    m_dlg->Show();
    Pump();
    ASSERT_NE(nullptr, m_dlg->Tray().icon);
    EXPECT_TRUE(m_dlg->Tray().icon->IsIconInstalled());
    EXPECT_EQ(1, m_dlg->Tray().nIcon);
    EXPECT_EQ(U("HalvexSentrel"), m_dlg->Tray().tip);
}

TEST_F(MonitorFixture, TheBlinkTimerAlternatesTheIconAndSoundsEveryOtherTickWhileRunning) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}});
    EXPECT_EQ(1, dlg->Tray().nIcon) << "the resting icon";
    EXPECT_EQ(U("HalvexSentrel"), dlg->Tray().tip);
    Mark(dlg, 0);
    ASSERT_TRUE(dlg->Tray().bBlinking);

    // Stopped: the icon blinks, nothing sounds.
    std::vector<int> icons;
    for (int i = 0; i < 3; ++i) {
        BlinkTick(dlg);
        icons.push_back(dlg->Tray().nIcon);
        EXPECT_EQ(U("发现网页更新！"), dlg->Tray().tip);
    }
    EXPECT_EQ((std::vector<int>{0, 1, 0}), icons);
    EXPECT_EQ(0, m_nPlays);
    EXPECT_EQ(1, dlg->Tray().nPhase);

    // Running: the sound comes on the ticks whose new phase is 0.
    Press(dlg, IDC_START);
    ASSERT_TRUE(StopButton(dlg)->IsActive());
    BlinkTick(dlg);  // shows 1, phase 0: sound
    EXPECT_EQ(1, m_nPlays);
    BlinkTick(dlg);  // shows 0, phase 1
    EXPECT_EQ(1, m_nPlays);
    BlinkTick(dlg);
    EXPECT_EQ(2, m_nPlays);

    // The phase is kept across blink periods.
    Mark(dlg, 0, false);
    EXPECT_FALSE(dlg->Tray().bBlinking);
    EXPECT_EQ(1, dlg->Tray().nIcon);
    EXPECT_EQ(0, dlg->Tray().nPhase);
    Mark(dlg, 0);
    BlinkTick(dlg);
    EXPECT_EQ(0, dlg->Tray().nIcon);

    // And the real timer ticks about once a second.
    const int plays = m_nPlays;
    EXPECT_TRUE(WaitFor([&] { return m_nPlays > plays; }, 3s));
}

TEST_F(MonitorFixture, SoundAlertsOffMeanNoBlinkingAndTurningThemOffStopsIt) {
    CMonitorDlg* dlg = OpenWith("interval=1\nbalertwav=0\n", {{"/a", "0"}, {"/b", "0"}});
    Mark(dlg, 0);
    EXPECT_FALSE(dlg->Tray().bBlinking) << "sound alerts off: no blinking";
    EXPECT_TRUE(IsRed(0));

    Settings s = dlg->Values();
    s.m_bAlertWav = true;
    dlg->ApplySettings(s);
    Mark(dlg, 1);
    ASSERT_TRUE(dlg->Tray().bBlinking);
    BlinkTick(dlg);
    EXPECT_EQ(0, dlg->Tray().nIcon);

    s.m_bAlertWav = false;
    dlg->ApplySettings(s);
    EXPECT_FALSE(dlg->Tray().bBlinking) << "turning sound off stops the blinking at once";
    EXPECT_EQ(1, dlg->Tray().nIcon);
    EXPECT_EQ(U("HalvexSentrel"), dlg->Tray().tip);
    EXPECT_EQ(",0,1,", UpdatedRows(dlg)) << "the marks stay";
}

TEST_F(MonitorFixture, EachReportedChangeSendsOneMailWithTheSettingsOfThatMoment) {
    SmtpScript script;
    ScriptedSmtpServer smtp(script);
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", std::to_string(smtp.Port()).c_str(), 1);
    CMonitorDlg* dlg = OpenWith(
        "interval=1\nbalertwav=0\nbalertemail=1\nemailrcv=bob@example.com\nsenduser=alice\n"
        "sendpwd=pw\n",
        {{"/a", "0"}});
    dlg->SetStatusText("x");
    Mark(dlg, 0);
    Mark(dlg, 0);
    EXPECT_EQ(",0,", UpdatedRows(dlg));
    EXPECT_TRUE(WaitFor([&] { return smtp.Connections() == 2; }));
    EXPECT_TRUE(WaitFor([&] { return StatusText(dlg).empty(); }, 5s))
        << "mail result 0: " << StatusText(dlg).utf8_string();
    Settings s = dlg->Values();
    s.m_bAlertEmail = false;
    dlg->ApplySettings(s);
    Mark(dlg, 0);
    EXPECT_EQ(2, smtp.Connections()) << "mail alerts off: no third mail is started";
    std::string sent = smtp.Transcript();
    EXPECT_NE(std::string::npos, sent.find(m_pages.Url("/a"))) << "the mail names the URL";
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
}

TEST_F(MonitorFixture, PopOpensTheTrayMenuBelowTheButton) {
    CMonitorDlg* dlg = OpenWith(kIni, {});
    std::vector<std::string> labels;
    wxPoint where;
    int shown = 0;
    dlg->SetMenuPresenterForTesting([&](wxMenu& menu, const wxPoint& at) {
        ++shown;
        labels = Labels(menu);
        where = at;
    });
    dlg->Raise();
    Pump();
    Click(PopButton(dlg));
    EXPECT_EQ(1, shown) << "one click, one menu";
    const std::vector<std::string> expected = {"设置=" + std::to_string(WXID(ID_OPTIONS)), "-",
                                               "退出=" + std::to_string(WXID(ID_EXIT))};
    EXPECT_EQ(expected, labels);
    EXPECT_EQ(wxPoint(430, 18), where) << "left edge of the button, top at its bottom";
    EXPECT_FALSE(PopButton(dlg)->IsActive());

    std::unique_ptr<wxMenu> trayMenu(CreateTrayMenu());
    EXPECT_EQ(expected, Labels(*trayMenu)) << "the tray's right click opens the same menu";
}

TEST_F(MonitorFixture, MinHidesTheWindowAndADoubleClickOnTheTrayBringsItBack) {
    CMonitorDlg* dlg = OpenWith(kIni, {});
    int quits = 0;
    dlg->SetQuitHandler([&] { ++quits; });
    dlg->Raise();
    Pump();
    Click(MinButton(dlg));
    EXPECT_FALSE(dlg->IsShown());
    EXPECT_FALSE(MinButton(dlg)->IsActive());
    wxTaskBarIcon* tray = dlg->Tray().icon;
    ASSERT_NE(nullptr, tray);
    EXPECT_TRUE(tray->IsIconInstalled()) << "only the tray icon stays";

    wxTaskBarIconEvent dclick(wxEVT_TASKBAR_LEFT_DCLICK, tray);
    tray->ProcessEvent(dclick);
    Pump();
    EXPECT_TRUE(dlg->IsShown());

    // "退出" from the tray menu ends the program, also while the window is hidden.
    dlg->Hide();
    wxCommandEvent exit(wxEVT_MENU, WXID(ID_EXIT));
    tray->ProcessEvent(exit);
    EXPECT_EQ(1, quits);
}

namespace {
struct RecordingNotifier : Notifier {
    std::vector<DesktopNotice> shown;
    void Show(const DesktopNotice& notice) override { shown.push_back(notice); }
};
}  // namespace

TEST_F(MonitorFixture, NotificationsNameNewMarksTogetherAndTellFailuresAndRecoveries) {
    m_pages.Set("/gone", -1);
    CMonitorDlg* dlg = OpenWith("interval=1\nfailafter=1\nbalertwav=0\n",
                                {{"/a", "0"}, {"/b", "0"}, {"/c", "0"}, {"/gone", "0"}});
    RecordingNotifier notifier;
    std::vector<DesktopNotice>& shown = notifier.shown;
    dlg->Policy().SetNotifier(&notifier);
    for (int r : {0, 1, 2}) Mark(dlg, r);
    Mark(dlg, 1);  // a change of a row already marked is no new notice
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }, 5s));
    ASSERT_EQ(1u, shown.size()) << "marks within two seconds make one notification";
    EXPECT_EQ("有更新！", shown[0].title);
    EXPECT_EQ(0u, shown[0].body.find("3 个网页有更新：\n" + m_pages.Url("/a"))) << shown[0].body;
    EXPECT_EQ(0, shown[0].openRow) << "several pages: no one page to open";

    shown.clear();
    Mark(dlg, 3);
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }, 5s));
    EXPECT_EQ(m_pages.Url("/gone"), shown[0].body);
    EXPECT_EQ(dlg->Session().Row(3).id, shown[0].openRow);

    // The page fails, then comes back.
    shown.clear();
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }, 5s));
    EXPECT_EQ("访问失败", shown[0].title);
    EXPECT_EQ(m_pages.Url("/gone") + "\n原因：HTTP 404", shown[0].body);
    m_pages.Set("/gone", 500);
    ASSERT_TRUE(WaitFor([&] { return shown.back().title == "已恢复"; }, 5s));
    Press(dlg, IDC_STOP);
    dlg->Policy().SetNotifier(nullptr);
}
