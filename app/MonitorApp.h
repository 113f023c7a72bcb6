#pragma once
#include <wx/app.h>

#include <string>

namespace sentrel {

class CMonitorDlg;

/// The application: owns the program's lifetime. It creates the support object and the
/// paths, shows the main window on its own main loop, and runs the orderly shutdown.
class CMonitorApp : public wxApp {
  public:
    bool OnInit() override;
    int OnRun() override;

    CMonitorDlg* MainWindow() const { return m_pMainWnd; }

    /// Creates the support object, the program directory and the database path.
    static void StartCore();
    /// The orderly shutdown of the window's session: "STOP", the exit text, the tray icon
    /// removed, settings and list stored, a 600 ms pause for watchers between two
    /// requests, then requests still in flight abandoned and every worker waited for
    /// within a bound. The window itself is left for the caller to destroy.
    static void Shutdown(CMonitorDlg& dlg);
    /// Deletes the support object.
    static void EndCore();
    /// One program per profile: false when another program holds it, which was then
    /// asked to show its window. A profile that takes no lock file runs unlocked.
    static bool TakeProfile();
    /// When the profile's holder did not answer (a program without a window, such as
    /// sentrel-watch), the folder it holds; the start then only says so in a box.
    static const std::string& BusyProfile();
    /// Says in a box that the profile is in use; the program's exit status.
    static int ShowBusyProfile(int argc, char** argv);

  private:
    static void OnQuitSignal(int sig);
    CMonitorDlg* m_pMainWnd = nullptr;
    static std::string s_strBusyProfile;
};

}  // namespace sentrel
