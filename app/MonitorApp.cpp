#include "MonitorApp.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "MonitorDlg.h"

#ifdef __WXGTK__
#include <X11/Xlib.h>
#include <unistd.h>
#endif

namespace sentrel {

namespace {
// The window whose state must be saved if the process ends without the orderly shutdown:
// when the X connection is lost (the desktop session ended), the toolkit calls exit().
CMonitorDlg* g_pLiveWindow = nullptr;
void SaveStateAtExit() {
    if (g_pLiveWindow) g_pLiveWindow->SaveState();
}

#ifdef __WXGTK__
// The X server went away (the desktop session ended): only saving is left to do.
int OnDisplayLost(Display*) {
    SaveStateAtExit();
    _exit(1);
}
#endif
}  // namespace

bool CMonitorApp::OnInit() {
    SetAppName("sentrel");
    SetAppDisplayName("HalvexSentrel");
    // Logging out, a kill or Ctrl+C ends the program through the same orderly shutdown.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) SetSignalHandler(sig, &CMonitorApp::OnQuitSignal);
#ifdef __WXGTK__
    XSetIOErrorHandler(&OnDisplayLost);  // replaces the toolkit's, which exits without saving
#endif
    return true;
}

void CMonitorApp::OnQuitSignal(int) {
    CMonitorApp& app = static_cast<CMonitorApp&>(*wxTheApp);
    if (!app.m_pMainWnd) return;
    // Saved at once: a message box still open would hold the window's loop until answered.
    app.m_pMainWnd->SaveState();
    if (app.m_pMainWnd->IsModal()) app.m_pMainWnd->EndModal(0);
}

int CMonitorApp::OnRun() {
    m_pMainWnd = new CMonitorDlg();
    g_pLiveWindow = m_pMainWnd;
    std::atexit(SaveStateAtExit);
    SetTopWindow(m_pMainWnd);
    // Problems met while starting are told once the window is up.
    m_pMainWnd->CallAfter([this] { m_pMainWnd->ShowStartupProblems(); });
    m_pMainWnd->ShowModal();
    m_pMainWnd->Shutdown();
    g_pLiveWindow = nullptr;
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
                     "sentrel: no display found: start it in a desktop session, or on a virtual "
                     "display (apt-get install xvfb, then: xvfb-run -a %s).\n",
                     argv[0]);
        return 1;
    }
    return wxEntry(argc, argv);
}
