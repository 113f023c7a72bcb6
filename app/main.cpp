#include <wx/app.h>

#include "Desktop.h"
#include "MonitorApp.h"

wxIMPLEMENT_APP_NO_MAIN(sentrel::CMonitorApp);

int main(int argc, char** argv) {
    if (!sentrel::HaveDesktop(argv[0])) return 1;
    return wxEntry(argc, argv);
}
