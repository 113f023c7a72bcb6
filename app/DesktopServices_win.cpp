// Windows: no StatusNotifierItem; notifications are the tray icon's balloons.
#include <wx/taskbar.h>

#include "app/DesktopServices.h"
#include "app/MonitorDlg.h"

namespace sentrel {

namespace {

class CBalloonNotifier : public CNotifier {
  public:
    explicit CBalloonNotifier(wxTaskBarIcon* tray) : m_pTray(tray) {}
    void Show(const DesktopNotice& notice) override {
        if (m_pTray && m_pTray->IsIconInstalled())
            m_pTray->ShowBalloon(wxString::FromUTF8(notice.title), wxString::FromUTF8(notice.body),
                                 10000, wxICON_INFORMATION);
    }

  private:
    wxTaskBarIcon* m_pTray;
};

}  // namespace

std::unique_ptr<CStatusTray> CreateStatusTray(CMonitorDlg*) {
    return nullptr;
}

std::unique_ptr<CNotifier> CreateNotifier(CMonitorDlg*, wxTaskBarIcon* tray) {
    return std::make_unique<CBalloonNotifier>(tray);
}

}  // namespace sentrel
