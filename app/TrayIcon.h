#pragma once
#include <wx/taskbar.h>

namespace sentrel {

/// The notification-area icon of the main window; the window owns it and removes it at
/// shutdown. Its menu comes with the window chrome.
class CTrayIcon : public wxTaskBarIcon {};

}  // namespace sentrel
