#include <wx/app.h>

#include "Desktop.h"
#include "MonitorApp.h"

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    if (!sentrel::HaveDesktop(argv[0])) return 1;
    if (!sentrel::CMonitorApp::TakeProfile()) {
        // The first program shows itself; one without a window is named in a box.
        if (sentrel::CMonitorApp::BusyProfile().empty()) return 0;
        return sentrel::CMonitorApp::ShowBusyProfile(argc, argv);
    }
    return wxEntry(argc, argv);
}
