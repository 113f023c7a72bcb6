#include "controls/Notice.h"

#include <wx/msgdlg.h>

#include "controls/WxText.h"
#include "support/Product.h"

namespace sentrel {

int ShowNotice(wxWindow* owner, const wxString& text, long style) {
    wxMessageDialog box(owner, text, TrW("提示"), style);
    return box.ShowModal();
}

void ShowCannotStartThread(wxWindow* owner) {
    wxMessageDialog box(owner, "Cannot Start New Thread", kProductTitle, wxOK);
    box.ShowModal();
}

}  // namespace sentrel
