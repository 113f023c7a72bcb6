#include <wx/app.h>

#include "app/Desktop.h"
#include "app/MonitorApp.h"
#include "support/CCore.h"

int main(int argc, char** argv) {
    if (!sentrel::HaveDesktop(argv[0])) return 1;
    // The language first: a refusal to start is said in it too. The file is only read.
    sentrel::CCore().UseChosenLanguage();
    auto lock = std::make_unique<sentrel::ProfileLock>();
    std::string refusal;
    int status = 0;
    if (!sentrel::CMonitorApp::TakeProfile(*lock, refusal, status)) {
        // The first program shows itself; anything else is said in a box.
        if (!refusal.empty()) sentrel::CMonitorApp::ShowRefusal(argc, argv, refusal);
        return status;
    }
    // The application holds the lock for the rest of the process.
    wxApp::SetInstance(new sentrel::CMonitorApp(std::move(lock)));
    return wxEntry(argc, argv);
}
