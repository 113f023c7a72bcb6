#include <wx/app.h>

#include "Desktop.h"
#include "MonitorApp.h"

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    if (!sentrel::HaveDesktop(argv[0])) return 1;
    if (!sentrel::CMonitorApp::TakeProfile()) return 0;  // the first program shows itself
    return wxEntry(argc, argv);
}
