#include "MonitorApp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "CCore.h"
#include "Desktop.h"
#include "MonitorDlg.h"
#include "Notice.h"
#include "ProfileLock.h"
#include "ProgramPaths.h"
#include "WorkerGroup.h"

namespace sentrel {

namespace {

// The pause at the end of the orderly shutdown, which gives watchers between two
// requests time to see the flag; then requests still in flight are abandoned and the
// workers get this much longer at most.
constexpr std::chrono::milliseconds kStopPause(600);
constexpr std::chrono::milliseconds kAbortBound(2000);

// The window whose state must be saved if the process ends without the orderly shutdown:
// when the X connection is lost (the desktop session ended), the toolkit calls exit().
CMonitorDlg* g_pLiveWindow = nullptr;
void SaveStateAtExit() {
    if (g_pLiveWindow) g_pLiveWindow->SaveState();
}

// Held for the whole process: the system drops it only after the last save.
ProfileLock g_profileLock;
}  // namespace

void CMonitorApp::StartCore() {
    g_pCore = new CCore();
    g_strAppPath = g_pCore->getAppPath();
    g_pCore->autoFileConfig();
    g_strConnStr = g_pCore->getDbConnStrMdb(g_strAppPath + "user.mdb");
}

std::string CMonitorApp::s_strBusyProfile;

bool CMonitorApp::TakeProfile() {
    const std::string dir = ProgramPaths::ForThisProgram().dataDir;
    switch (g_profileLock.Acquire(dir)) {
        case ProfileLock::kAcquired:
        case ProfileLock::kUnavailable:  // told at start-up like any folder problem
            return true;
        case ProfileLock::kTaken:
            break;
    }
    const bool shown = ProfileLock::AskHolderToShow(dir);
    std::fprintf(stderr, "sentrel: already running for %s%s\n", dir.c_str(),
                 shown ? "; its window is shown" : "");
    if (!shown) s_strBusyProfile = dir;
    return false;
}

const std::string& CMonitorApp::BusyProfile() {
    return s_strBusyProfile;
}

int CMonitorApp::ShowBusyProfile(int argc, char** argv) {
    // No window answered: the holder has none to show, so the user would see nothing.
    if (!wxEntryStart(argc, argv)) return 1;
    ShowNotice(nullptr, "此配置正被另一个程序（例如 sentrel-watch）使用：\n" + s_strBusyProfile +
                            "\n请先结束该程序，再启动 HalvexSentrel。");
    wxEntryCleanup();
    return 0;
}

void CMonitorApp::Shutdown(CMonitorDlg& dlg) {
    dlg.BeginShutdown();
    dlg.SaveState();
    std::this_thread::sleep_for(kStopPause);
    dlg.AbortWorkers();
    Workers().WaitIdle(kAbortBound);
}

void CMonitorApp::EndCore() {
    delete g_pCore;
    g_pCore = nullptr;
}

bool CMonitorApp::OnInit() {
    SetAppName("sentrel");
    SetAppDisplayName("HalvexSentrel");
    // Logging out, a kill or Ctrl+C ends the program through the same orderly shutdown.
    InstallQuitHandlers(
        *this, [] { OnQuitSignal(0); }, &SaveStateAtExit);
    StartCore();
    m_pMainWnd = new CMonitorDlg();
    g_pLiveWindow = m_pMainWnd;
    std::atexit(SaveStateAtExit);
    // A modeless window on the app's own loop: the tray menu reaches it, and it can be
    // hidden and shown again.
    m_pMainWnd->SetQuitHandler([this] { ExitMainLoop(); });
    SetTopWindow(m_pMainWnd);
    SetExitOnFrameDelete(false);
    m_pMainWnd->Show();
    // A second start of the same profile asks this one to show its window.
    g_profileLock.Listen([] {
        wxTheApp->CallAfter([] {
            auto* app = static_cast<CMonitorApp*>(wxTheApp);
            if (app->m_pMainWnd) app->m_pMainWnd->ShowFromTray();
        });
    });
    // Problems met while starting are told once the window is up.
    m_pMainWnd->CallAfter([this] { m_pMainWnd->ShowStartupProblems(); });
    return true;
}

void CMonitorApp::OnQuitSignal(int) {
    CMonitorApp& app = static_cast<CMonitorApp&>(*wxTheApp);
    if (!app.m_pMainWnd) return;
    // Saved at once: a message box still open would hold the loop until answered.
    app.m_pMainWnd->SaveState();
    app.m_pMainWnd->RequestQuit();
}

int CMonitorApp::OnRun() {
    int rc = wxApp::OnRun();
    g_profileLock.StopListening();
    Shutdown(*m_pMainWnd);
    g_pLiveWindow = nullptr;
    CMonitorDlg* dlg = m_pMainWnd;
    m_pMainWnd = nullptr;
    delete dlg;
    EndCore();
    return rc;
}

}  // namespace sentrel
