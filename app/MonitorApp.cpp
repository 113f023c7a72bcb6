#include "app/MonitorApp.h"

#include "base/Translate.h"

#include <wx/evtloop.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/Desktop.h"
#include "app/MonitorDlg.h"
#include "base/ThreadMessages.h"
#include "base/WorkerGroup.h"
#include "controls/Notice.h"
#include "controls/WxPost.h"
#include "platform/ProfileLock.h"
#include "store/ListFile.h"
#include "support/CCore.h"
#include "support/ProgramPaths.h"

namespace sentrel {

namespace {

// The pause at the end of the orderly shutdown, which gives watchers between two
// requests time to see the flag; then requests still in flight are abandoned and the
// workers get this much longer at most.
constexpr std::chrono::milliseconds kStopPause(600);
constexpr std::chrono::milliseconds kAbortBound(2000);

// The window's state is saved too if the process ends without the orderly shutdown (a
// toolkit that calls exit() when its display goes).
void SaveStateAtExit() {
    if (auto* app = dynamic_cast<CMonitorApp*>(wxTheApp)) app->OnDisplayLost();
}
}  // namespace

CMonitorApp::CMonitorApp(std::unique_ptr<ProfileLock> lock) : m_pLock(std::move(lock)) {
    // Held for the whole process: the system drops it only after the last save.
    if (!m_pLock) m_pLock = std::make_unique<ProfileLock>();
}

void CMonitorApp::StartCore() {
    g_pCore = new CCore();
    g_strAppPath = g_pCore->getAppPath();
    g_pCore->autoFileConfig();
    g_strConnStr = g_pCore->getDbConnStrMdb(ListFile::PathIn(g_strAppPath));
}

bool CMonitorApp::TakeProfile(ProfileLock& lock, std::string& refusal, int& exitStatus) {
    const std::string dir = ProgramPaths::ForThisProgram().dataDir;
    switch (lock.Acquire(dir)) {
        case ProfileLock::kAcquired:
        case ProfileLock::kUnavailable:  // told at start-up like any folder problem
            return true;
        case ProfileLock::kFailed:
            // Two programs must never write one list: without the lock, no start.
            std::fprintf(stderr, "sentrel: the profile %s cannot be locked: %s\n", dir.c_str(),
                         lock.Problem().c_str());
            refusal = Fill(Tr("无法锁定配置文件夹 {0}（{1}）。\n为免两个程序同时写入同一个网址列表，"
                              "HalvexSentrel 不会启动。"),
                           {dir, lock.Problem()});
            exitStatus = 1;
            return false;
        case ProfileLock::kTaken:
            break;
    }
    switch (ProfileLock::Ask(dir)) {
        case ProfileLock::kShown:
            std::fprintf(stderr, "sentrel: already running for %s; its window is shown\n",
                         dir.c_str());
            exitStatus = 0;
            break;
        case ProfileLock::kNobody:
            // The holder has no window to show, so the user would see nothing.
            std::fprintf(stderr, "sentrel: the profile %s is in use by another program\n",
                         dir.c_str());
            refusal = Fill(Tr("此配置正被另一个程序（例如 sentrel-watch）使用：\n{0}\n"
                              "请先结束该程序，再启动 HalvexSentrel。"),
                           {dir});
            exitStatus = 0;
            break;
        case ProfileLock::kNoAnswer:
            std::fprintf(stderr,
                         "sentrel: already running for %s, but that program does not answer\n",
                         dir.c_str());
            refusal = Fill(
                Tr("HalvexSentrel 已在运行（{0}），但它没有响应。\n请结束那个程序后再启动。"), {dir});
            exitStatus = 1;
            break;
    }
    return false;
}

void CMonitorApp::ShowRefusal(int argc, char** argv, const std::string& text) {
    wxApp::SetInstance(new wxApp);  // only the toolkit, for one box
    if (!wxEntryStart(argc, argv)) return;
    ShowNotice(nullptr, text);
    wxEntryCleanup();
}

void CMonitorApp::Shutdown(CMonitorDlg& dlg) {
    dlg.BeginShutdown();
    dlg.SaveState();
    std::this_thread::sleep_for(kStopPause);
    dlg.AbortWorkers(kAbortBound);
}

void CMonitorApp::EndCore() {
    delete g_pCore;
    g_pCore = nullptr;
}

bool CMonitorApp::OnInit() {
    SetAppName("sentrel");
    SetAppDisplayName("HalvexSentrel");
    // Logging out, a kill or Ctrl+C ends the program through the same orderly shutdown.
    InstallQuitHandlers(*this);
    StartCore();
    PlainListHeaders();
    m_pMainWnd = new CMonitorDlg();
    std::atexit(SaveStateAtExit);
    // A modeless window on the app's own loop: the tray menu reaches it, and it can be
    // hidden and shown again.
    m_pMainWnd->SetQuitHandler([this] { QuitMainLoop(); });
    SetTopWindow(m_pMainWnd);
    SetExitOnFrameDelete(false);
    // A second start of the same profile asks this one to show its window; heard from
    // before the window shows, so that no start meanwhile finds nobody.
    m_pShowTarget = MakeWxPostTarget<bool>(this, WM_SHOW_WINDOW);
    Bind(
        wxEVT_THREAD,
        [this](wxThreadEvent&) {
            if (m_pMainWnd) m_pMainWnd->ShowFromTray();
        },
        WM_SHOW_WINDOW);
    const bool listening = m_pLock->Listen([target = m_pShowTarget] { target->Post(true); });
    // Without it a second start cannot bring this window up: said, never passed over.
    std::string listenProblem;
    if (!listening && m_pLock->Held()) {
        std::fprintf(stderr, "sentrel: second starts cannot reach this program: %s\n",
                     m_pLock->Problem().c_str());
        listenProblem = Fill(Tr("另一个程序（可能属于其他用户）占用了本程序的通信名称 {0}。\n"
                                "再次启动 HalvexSentrel 时将无法显示此窗口。"),
                             {m_pLock->Problem()});
    }
    m_pMainWnd->Show();
    // Problems met while starting are told once the window is up.
    m_pMainWnd->CallAfter([this, listenProblem] {
        m_pMainWnd->ShowStartupProblems();
        if (!listenProblem.empty()) ShowNotice(m_pMainWnd, listenProblem);
    });
    return true;
}

void CMonitorApp::QuitMainLoop() {
    // Asked from inside a dialog's loop (Options, say), the exit would end only that loop:
    // it waits until the dialog, already cancelled, has given the main loop back.
    if (wxEventLoopBase::GetActive() && wxEventLoopBase::GetActive() != GetMainLoop()) {
        CallAfter([this] { QuitMainLoop(); });
        return;
    }
    ExitMainLoop();
}

void CMonitorApp::OnQuitSignal() {
    if (!m_pMainWnd) return;
    // Saved at once: a message box still open would hold the loop until answered.
    m_pMainWnd->SaveState();
    m_pMainWnd->RequestQuit();
}

void CMonitorApp::OnDisplayLost() {
    if (m_pMainWnd) m_pMainWnd->SaveState();
}

int CMonitorApp::OnRun() {
    int rc = wxApp::OnRun();
    m_pLock->StopListening();
    if (m_pShowTarget) m_pShowTarget->Close();
    Shutdown(*m_pMainWnd);
    CMonitorDlg* dlg = m_pMainWnd;
    m_pMainWnd = nullptr;
    delete dlg;
    EndCore();
    return rc;
}

}  // namespace sentrel
