// Baseline for the start-up benchmark: the smallest wx program that shows a dialog.
#include <wx/app.h>
#include <wx/dialog.h>

class MinimalApp : public wxApp {
  public:
    bool OnInit() override {
        wxDialog dlg(nullptr, wxID_ANY, "Baseline", wxDefaultPosition, wxSize(530, 319));
        dlg.ShowModal();
        return false;
    }
};

wxIMPLEMENT_APP(MinimalApp);
