#pragma once
// What the program needs of the desktop it starts in, in one form per platform
// (Desktop_posix.cpp, Desktop_win.cpp).

class wxApp;
class wxDialog;

namespace sentrel {

/// What the system's ways of ending a program reach: the application.
class QuitTarget {
  public:
    virtual ~QuitTarget() = default;
    /// A signal, the end of the session or a closed console: the orderly way out, from
    /// the main loop's thread.
    virtual void OnQuitSignal() = 0;
    /// The display went away without a chance to quit: only saving is left to do.
    virtual void OnDisplayLost() = 0;
};

/// True when there is a desktop to open the window on; otherwise says so on stderr,
/// naming how to start the program (`argv0`).
bool HaveDesktop(const char* argv0);

/// Makes the ways the system ends a program (signals, the end of the session) reach
/// `app`, which is a QuitTarget, on the main loop's thread (or, when the display is lost,
/// from wherever the toolkit notices).
void InstallQuitHandlers(wxApp& app);

/// Lists' column headers in the weight of the lists' own text, as on Windows. GTK's
/// theme draws them bold; a bold CJK face is 3 MB more for the idle window to keep mapped.
void PlainListHeaders();

/// Ends a modal dialog as if Cancel was chosen, the system's own message boxes included.
void CancelModalDialog(wxDialog* dlg);

}  // namespace sentrel
