#pragma once
#include <wx/taskbar.h>

namespace sentrel {

class CMonitorDlg;

/// The notification-area icon of the main window: its menu on a right click, the window
/// back on a double click. The window owns it and removes it at shutdown.
class CTrayIcon : public wxTaskBarIcon {
  public:
    explicit CTrayIcon(CMonitorDlg* owner);

  protected:
    wxMenu* CreatePopupMenu() override;

  private:
    CMonitorDlg* m_pOwner;
};

}  // namespace sentrel
