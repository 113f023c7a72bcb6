#pragma once
// What the program needs of the desktop it starts in, in one form per platform
// (Desktop_posix.cpp, Desktop_win.cpp).

class wxApp;
class wxDialog;

namespace sentrel {

/// True when there is a desktop to open the window on; otherwise says so on stderr,
/// naming how to start the program (`argv0`).
bool HaveDesktop(const char* argv0);

/// Makes the ways the system ends a program (signals, the end of the session) call
/// `onQuit` on the main loop's thread or from a signal handler that only sets flags and
/// saves. `onDisplayLost` runs when the display goes away without a chance to quit.
void InstallQuitHandlers(wxApp& app, void (*onQuit)(), void (*onDisplayLost)());

/// Ends a modal dialog as if Cancel was chosen, the system's own message boxes included.
void CancelModalDialog(wxDialog* dlg);

}  // namespace sentrel
