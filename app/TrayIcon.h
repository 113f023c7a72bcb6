#pragma once
#include <wx/taskbar.h>

namespace sentrel {

class CMonitorDlg;

/// The notification-area icon of the main window.
class CTrayIcon : public wxTaskBarIcon {
  public:
    explicit CTrayIcon(CMonitorDlg* owner);

  private:
    CMonitorDlg* m_pOwner;
};

}  // namespace sentrel
