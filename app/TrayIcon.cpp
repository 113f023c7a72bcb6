#include "TrayIcon.h"

namespace sentrel {

CTrayIcon::CTrayIcon(CMonitorDlg* owner) : m_pOwner(owner) {}

}  // namespace sentrel
