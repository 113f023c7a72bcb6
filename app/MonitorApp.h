#pragma once
#include <wx/app.h>

namespace sentrel {

class CMonitorDlg;

/// The application: runs the main window as one modal dialog, then ends.
class CMonitorApp : public wxApp {
  public:
    bool OnInit() override;
    int OnRun() override;

    CMonitorDlg* MainWindow() const { return m_pMainWnd; }

  private:
    static void OnQuitSignal(int sig);
    CMonitorDlg* m_pMainWnd = nullptr;
};

}  // namespace sentrel
