#include <windows.h>
#include <wx/app.h>
#include <wx/msgdlg.h>

#include "app/Desktop.h"

namespace sentrel {

namespace {
void Quit() {
    if (auto* app = dynamic_cast<QuitTarget*>(wxTheApp)) app->OnQuitSignal();
}

// Ctrl+C or a closed console window, when the program runs from one.
BOOL WINAPI OnConsoleEvent(DWORD) {
    wxTheApp->CallAfter([] { Quit(); });
    return TRUE;
}
}  // namespace

bool HaveDesktop(const char*) {
    return true;  // a Windows program always starts in a session with a desktop
}

void InstallQuitHandlers(wxApp& app) {
    SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    // The session ends (log-off, shutdown): saved before the system ends the process.
    // A close request (taskkill) reaches the main window as a close event.
    app.Bind(wxEVT_END_SESSION, [](wxCloseEvent&) { Quit(); });
}

void PlainListHeaders() {}  // the system's headers are regular already

void CancelModalDialog(wxDialog* dlg) {
    // The system's message box is no wx window: the thread's active window is that box.
    if (wxDynamicCast(dlg, wxMessageDialog))
        ::PostMessageW(::GetActiveWindow(), WM_CLOSE, 0, 0);
    else if (dlg->IsModal())
        dlg->EndModal(wxID_CANCEL);
}

}  // namespace sentrel
