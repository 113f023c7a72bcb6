#include "MonitorApp.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "MonitorDlg.h"

namespace sentrel {

bool CMonitorApp::OnInit() {
    SetAppName("sentrel");
    SetAppDisplayName("HalvexSentrel");
    // Logging out, a kill or Ctrl+C ends the program through the same orderly shutdown.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) SetSignalHandler(sig, &CMonitorApp::OnQuitSignal);
    return true;
}

void CMonitorApp::OnQuitSignal(int) {
    CMonitorApp& app = static_cast<CMonitorApp&>(*wxTheApp);
    if (app.m_pMainWnd && app.m_pMainWnd->IsModal()) app.m_pMainWnd->EndModal(0);
}

int CMonitorApp::OnRun() {
    m_pMainWnd = new CMonitorDlg();
    SetTopWindow(m_pMainWnd);
    // Problems met while starting are told once the window is up.
    m_pMainWnd->CallAfter([this] { m_pMainWnd->ShowStartupProblems(); });
    m_pMainWnd->ShowModal();
    m_pMainWnd->Shutdown();
    CMonitorDlg* dlg = m_pMainWnd;
    m_pMainWnd = nullptr;
    delete dlg;
    return 0;
}

}  // namespace sentrel

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        std::fprintf(stderr,
                     "sentrel: no display found: start it from a desktop session, or on a virtual "
                     "one with: xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    return wxEntry(argc, argv);
}
