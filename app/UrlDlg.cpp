#include "UrlDlg.h"

#include <wx/button.h>
#include <wx/stattext.h>

#include "DialogUnits.h"
#include "Notice.h"
#include "UrlTextFile.h"
#include "WxText.h"
#include "resource.h"

namespace sentrel {

namespace {

constexpr int IDC_URL_EDIT = 1017;
constexpr int IDC_NOTE_EDIT = 1018;

}  // namespace

CUrlDlg::CUrlDlg(wxWindow* parent)
    : wxDialog(parent, IDD_URL, U("网址"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(wxFont(wxFontInfo(9)));
    // Laid out in dialog units, converted with this dialog's font, as its template says.
    auto at = [this](int x, int y, int w, int h) { return DialogRect(this, x, y, w, h); };
    auto place = [](wxWindow* w, const wxRect& r) { w->SetSize(r); };
    SetClientSize(ConvertDialogToPixels(wxSize(253, 99)));
    // Created in tab order: the two edits, then the buttons.
    m_editUrl = new wxTextCtrl(this, IDC_URL_EDIT);
    place(m_editUrl, at(45, 16, 201, 14));
    // The field's own limit, said aloud: a longer paste is refused, not silently cut.
    m_editUrl->SetMaxLength(static_cast<unsigned long>(kMaxUrlChars));
    m_editUrl->Bind(wxEVT_TEXT_MAXLEN, [this](wxCommandEvent&) { WarnTooLong(); });
    m_editNote = new wxTextCtrl(this, IDC_NOTE_EDIT);
    place(m_editNote, at(45, 33, 201, 14));
    auto* ok = new wxButton(this, wxID_OK, U("确定"));
    place(ok, at(141, 78, 50, 14));
    ok->SetDefault();
    place(new wxButton(this, wxID_CANCEL, U("取消")), at(196, 78, 50, 14));
    place(new wxStaticText(this, wxID_ANY, U("网址：")), at(15, 17, 25, 8));
    place(new wxStaticText(this, wxID_ANY, U("备注：")), at(15, 35, 25, 8));
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
}

int CUrlDlg::ShowModal() {
    OnInitDialog();
    CentreOnParent();
    return wxDialog::ShowModal();
}

void CUrlDlg::OnInitDialog() {
    if (m_bEdit) {
        m_editUrl->ChangeValue(m_strUrl);
        m_editNote->ChangeValue(m_strNote);
        SetTitle(U("编辑网址"));
    } else {
        m_editUrl->Clear();
        m_editNote->Clear();
        SetTitle(U("新增网址"));
    }
    m_editUrl->SetFocus();
}

void CUrlDlg::WarnTooLong() {
    ShowNotice(this, wxString::Format(U("网址过长，不能超过 %d 个字符！"), int(kMaxUrlChars)),
               wxOK | wxICON_EXCLAMATION);
}

void CUrlDlg::OnOK() {
    // A row is one line of a list file: a pasted line break or tab would split it.
    m_strUrl = U(CleanUrlText(S(m_editUrl->GetValue())));
    m_strNote = U(CleanNoteText(S(m_editNote->GetValue())));
    if (m_strUrl.empty()) {
        m_editUrl->SetFocus();
        ShowNotice(this, "请输入网址！", wxOK | wxICON_EXCLAMATION);
        return;
    }
    if (m_strUrl.length() > kMaxUrlChars) {
        m_editUrl->SetFocus();
        WarnTooLong();
        return;
    }
    SetReturnCode(wxID_OK);  // also when shown without a modal loop
    EndDialog(wxID_OK);
}

}  // namespace sentrel
