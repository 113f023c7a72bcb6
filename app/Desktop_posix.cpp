#include <X11/Xlib.h>
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/msgdlg.h>

#include <csignal>
#include <cstdio>

#include "app/Desktop.h"
#include "platform/Files.h"

namespace sentrel {

namespace {
QuitTarget* App() {
    return dynamic_cast<QuitTarget*>(wxTheApp);
}

void OnSignal(int) {
    if (QuitTarget* app = App()) app->OnQuitSignal();
}

// The X server went away (the desktop session ended): only saving is left to do.
int OnDisplayLost(Display*) {
    if (QuitTarget* app = App()) app->OnDisplayLost();
    _exit(1);
}
}  // namespace

bool HaveDesktop(const char* argv0) {
    if (!GetEnv("DISPLAY").empty() || !GetEnv("WAYLAND_DISPLAY").empty()) return true;
    std::fprintf(stderr,
                 "sentrel: no display found: start it in a desktop session, or on a virtual "
                 "display (apt-get install xvfb, then: xvfb-run -a %s).\n",
                 argv0);
    return false;
}

void InstallQuitHandlers(wxApp& app) {
    // Logging out, a kill or Ctrl+C end the program through the same orderly shutdown;
    // wx runs the handler on the main loop.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) app.SetSignalHandler(sig, &OnSignal);
    XSetIOErrorHandler(&OnDisplayLost);  // replaces the toolkit's, which exits without saving
}

void PlainListHeaders() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "treeview header button { font-weight: normal; }", -1,
                                    nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

void CancelModalDialog(wxDialog* dlg) {
    // GTK's message box runs a loop of its own (gtk_dialog_run), which only a response
    // ends. GTK is loaded with the toolkit; its function is looked up, not linked.
    using Respond = void (*)(void* dialog, int response);
    constexpr int kGtkResponseCancel = -6;
    static const auto respond =
        reinterpret_cast<Respond>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    if (wxDynamicCast(dlg, wxMessageDialog)) {
        if (respond && dlg->GetHandle()) respond(dlg->GetHandle(), kGtkResponseCancel);
    } else if (dlg->IsModal()) {
        dlg->EndModal(wxID_CANCEL);
    }
}

}  // namespace sentrel
