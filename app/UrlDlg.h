#pragma once
#include <wx/dialog.h>
#include <wx/textctrl.h>

namespace sentrel {

/// The dialog that adds a URL with a note, or edits one.
class CUrlDlg : public wxDialog {
  public:
    explicit CUrlDlg(wxWindow* parent);

    bool m_bEdit = false;  ///< edit an existing row (the texts below are shown)
    wxString m_strUrl;     ///< the URL, as typed (no trimming)
    wxString m_strNote;    ///< the note, may be empty

    int ShowModal() override;
    /// OK: takes the texts; an empty URL is refused and the dialog stays open.
    void OnOK();

    wxTextCtrl* UrlEdit() const { return m_editUrl; }
    wxTextCtrl* NoteEdit() const { return m_editNote; }

  private:
    void OnInitDialog();
    void WarnTooLong();

    wxTextCtrl* m_editUrl = nullptr;
    wxTextCtrl* m_editNote = nullptr;
};

}  // namespace sentrel
