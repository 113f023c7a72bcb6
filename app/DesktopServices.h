#pragma once
// The desktop's alert services, chosen when the program starts: each is missing where the
// desktop lacks it, and the program works on without it. One form per platform
// (DesktopServices_posix.cpp: StatusNotifierItem and freedesktop notifications;
// DesktopServices_win.cpp: the tray icon's balloon).
#include <memory>
#include <string>

#include "alerts/AlertPolicy.h"

class wxTaskBarIcon;

namespace sentrel {

class CMonitorDlg;

/// A StatusNotifierItem tray (KDE, GNOME with the AppIndicator extension, most panels).
/// The host draws the attention; the icon is never swapped over the bus.
class CStatusTray {
  public:
    virtual ~CStatusTray() = default;
    /// NeedsAttention (a mark is pending while monitoring runs), or Active.
    virtual void SetAttention(bool attention) = 0;
};

/// The tray where a StatusNotifierWatcher owns its name on the session bus; null otherwise.
std::unique_ptr<CStatusTray> CreateStatusTray(CMonitorDlg* owner);

/// Desktop notifications (the alert policy's notifier); shown without ever waiting, and
/// nothing at all without a notification service.
using CNotifier = Notifier;

/// The desktop's notifier; `tray` is the window's tray icon, where the platform shows
/// notifications through it (may be null).
std::unique_ptr<CNotifier> CreateNotifier(CMonitorDlg* owner, wxTaskBarIcon* tray);

}  // namespace sentrel
