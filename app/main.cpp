#include <wx/app.h>

#include "Desktop.h"
#include "MonitorApp.h"

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    if (!sentrel::HaveDesktop(argv[0])) return 1;
    std::string refusal;
    int status = 0;
    if (!sentrel::CMonitorApp::TakeProfile(refusal, status)) {
        // The first program shows itself; anything else is said in a box.
        if (!refusal.empty()) sentrel::CMonitorApp::ShowRefusal(argc, argv, refusal);
        return status;
    }
    return wxEntry(argc, argv);
}
