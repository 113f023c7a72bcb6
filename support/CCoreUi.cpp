#include <wx/msgdlg.h>

#include "CCore.h"

namespace sentrel {

void CCore::msgboxWarning(wxWindow* owner, const std::string& text) {
    wxMessageDialog dlg(owner, wxString::FromUTF8(text), wxString::FromUTF8("提示"),
                        wxOK | wxICON_WARNING);
    dlg.ShowModal();
}

void CCore::msgboxInfo(wxWindow* owner, const std::string& text) {
    wxMessageDialog dlg(owner, wxString::FromUTF8(text), wxString::FromUTF8("提示"),
                        wxOK | wxICON_INFORMATION);
    dlg.ShowModal();
}

}  // namespace sentrel
