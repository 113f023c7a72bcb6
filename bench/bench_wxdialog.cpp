// Baseline for the start-up benchmark: a bare wx window with what any Chinese interface of
// this size shows anyway: the same list with its four Chinese column headers, the status
// and link texts, on the same font, shown the same way (modeless, on the app's loop).
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>

class BaselineApp : public wxApp {
  public:
    bool OnInit() override {
        auto* dlg = new wxDialog(nullptr, wxID_ANY, "Baseline", wxDefaultPosition, wxSize(530, 319),
                                 wxBORDER_NONE);
        dlg->SetFont(wxFont(wxFontInfo(9)));
        auto* list = new wxListCtrl(dlg, wxID_ANY, wxPoint(3, 94), wxSize(524, 194),
                                    wxLC_REPORT | wxLC_HRULES | wxLC_VRULES);
        const char* headers[] = {"监控网址", "备注", "状态", "字节数"};
        const int widths[] = {280, 120, 100, 0};
        for (int i = 0; i < 4; ++i)
            list->InsertColumn(i, wxString::FromUTF8(headers[i]), wxLIST_FORMAT_LEFT, widths[i]);
        new wxStaticText(dlg, wxID_ANY, wxString::FromUTF8("就绪"), wxPoint(7, 297));
        new wxStaticText(dlg, wxID_ANY, wxString::FromUTF8("访问官方主页"), wxPoint(360, 299));
        dlg->Show();
        return true;
    }
};

wxIMPLEMENT_APP(BaselineApp);
