#include <wx/app.h>

#include <cstdio>
#include <cstdlib>

#include "MonitorApp.h"

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        std::fprintf(stderr,
                     "sentrel: no display found: start it in a desktop session, or on a virtual "
                     "display (apt-get install xvfb, then: xvfb-run -a %s).\n",
                     argv[0]);
        return 1;
    }
    return wxEntry(argc, argv);
}
