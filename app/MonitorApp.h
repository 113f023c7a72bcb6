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
    /// One program per profile: true when this program may run. Otherwise `exitStatus`
    /// is the program's status, and `refusal` (when not empty) what a box must tell the
    /// user: the holder has no window to show, does not answer, or the lock cannot be taken.
    static bool TakeProfile(std::string& refusal, int& exitStatus);
    /// Says in a box why the program does not start.
    static void ShowRefusal(int argc, char** argv, const std::string& text);
    /// Why second starts cannot reach this program (empty when they can).
    static const std::string& ListenProblem();

  private:
    static void OnQuitSignal(int sig);
    /// Ends the main loop, once no dialog's loop runs inside it.
    void QuitMainLoop();
    CMonitorDlg* m_pMainWnd = nullptr;
};

}  // namespace sentrel
