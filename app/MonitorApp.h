#pragma once
#include <wx/app.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/Desktop.h"
#include "base/PostTarget.h"
#include "platform/ProfileLock.h"

namespace sentrel {

class CMonitorDlg;

/// The application: owns the program's lifetime. It holds the profile's lock, creates the
/// support object and the paths, shows the main window on its own main loop, and runs the
/// orderly shutdown.
class CMonitorApp : public wxApp, public QuitTarget {
  public:
    /// `lock`: the profile's, taken by TakeProfile before the app is made.
    explicit CMonitorApp(std::unique_ptr<ProfileLock> lock = nullptr);

    bool OnInit() override;
    int OnRun() override;

    /// Creates the support object, the program directory and the database path.
    static void StartCore();
    /// The orderly shutdown of the window's session: "STOP", the exit text, the tray icon
    /// removed, settings and list stored, a 600 ms pause for watchers between two
    /// requests, then requests still in flight abandoned and every worker joined within a
    /// bound. The window itself is left for the caller to destroy.
    static void Shutdown(CMonitorDlg& dlg);
    /// Deletes the support object.
    static void EndCore();
    /// One program per profile: true when this program may run, holding `lock`. Otherwise
    /// `exitStatus` is the program's status, and `refusal` (when not empty) what a box must
    /// tell the user: the holder has no window to show, does not answer, or the lock
    /// cannot be taken.
    static bool TakeProfile(ProfileLock& lock, std::string& refusal, int& exitStatus);
    /// Says in a box why the program does not start.
    static void ShowRefusal(int argc, char** argv, const std::string& text);

    void OnQuitSignal() override;
    void OnDisplayLost() override;

  private:
    /// Ends the main loop, once no dialog's loop runs inside it.
    void QuitMainLoop();

    std::unique_ptr<ProfileLock> m_pLock;
    CMonitorDlg* m_pMainWnd = nullptr;
    PostTargetPtr<bool> m_pShowTarget;  // a second start asks the window to show itself
};

}  // namespace sentrel
