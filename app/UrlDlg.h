#pragma once
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <memory>
#include <thread>

#include "base/PostTarget.h"
#include "model/WatchSession.h"
#include "probe/RunFlag.h"

namespace sentrel {

/// The dialog that adds a URL with a note, or edits one, with how the row compares its
/// page: by size, or by its text (a region, lines to ignore), which 预览 shows.
class CUrlDlg : public wxDialog {
  public:
    explicit CUrlDlg(wxWindow* parent);
    /// A preview under way is given up and waited for (it ends at once).
    ~CUrlDlg() override;

    bool m_bEdit = false;       ///< edit an existing row (the texts below are shown)
    wxString m_strUrl;          ///< the URL, as typed (no trimming)
    wxString m_strNote;         ///< the note, may be empty
    CompareOptions m_compare;   ///< how the row compares its page
    int m_nInterval = 0;        ///< the page's own seconds between probes; 0: the program's
    std::string m_strAlertIf;   ///< a text row's conditions, one a line; empty: every change
    PageAccess m_access;        ///< its own proxy, headers and session
    std::string m_strProgramProxy;  ///< the program's proxy, which a preview takes when the row has none

    int ShowModal() override;
    /// OK: takes the texts; a row that cannot be kept is refused with the reason, and the
    /// dialog stays open.
    void OnOK();
    /// 预览: fetches the page off the UI thread and shows the text that will be compared,
    /// or why there is none; pressed again while it runs, it gives the fetch up.
    void OnPreview();

    wxTextCtrl* UrlEdit() const { return m_editUrl; }
    wxTextCtrl* NoteEdit() const { return m_editNote; }
    wxChoice* CompareChoice() const { return m_choiceCompare; }
    wxTextCtrl* SelectEdit() const { return m_editSelect; }
    wxCheckBox* RenderCheck() const { return m_chkRender; }
    wxTextCtrl* IgnoreEdit() const { return m_editIgnore; }
    wxTextCtrl* IntervalEdit() const { return m_editInterval; }
    wxTextCtrl* AlertIfEdit() const { return m_editAlertIf; }
    wxTextCtrl* ProxyEdit() const { return m_editProxy; }
    wxTextCtrl* SessionEdit() const { return m_editSession; }
    wxTextCtrl* HeadersEdit() const { return m_editHeaders; }
    /// What the conditions' line says: their problem, or which the previewed text meets.
    const std::string& AlertIfStatus() const { return m_strAlertIfStatus; }
    wxTextCtrl* PreviewText() const { return m_textPreview; }
    bool PreviewRunning() const { return m_preview.joinable() && !m_bPreviewDone; }

  private:
    void OnInitDialog();
    void WarnTooLong();
    void ShowCompareFields();
    void ShowAlertIfStatus();
    CompareOptions EnteredCompare() const;
    PageAccess EnteredAccess() const;
    struct Preview {
        int number;  // which preview: an answer of an earlier one is late
        std::string text;
        bool bOk = false;  // a text was read (not a reason why none was)
    };
    void PreviewDone(const Preview& preview);
    void EndPreview();

    wxTextCtrl* m_editUrl = nullptr;
    wxTextCtrl* m_editNote = nullptr;
    wxChoice* m_choiceCompare = nullptr;
    wxCheckBox* m_chkRender = nullptr;
    wxTextCtrl* m_editInterval = nullptr;
    wxTextCtrl* m_editSelect = nullptr;
    wxTextCtrl* m_editIgnore = nullptr;
    wxTextCtrl* m_editAlertIf = nullptr;
    wxStaticText* m_textAlertIf = nullptr;
    wxTextCtrl* m_editProxy = nullptr;
    wxTextCtrl* m_editSession = nullptr;
    wxTextCtrl* m_editHeaders = nullptr;
    std::string m_strPreviewed;  // the last text a preview read, for the conditions' line
    bool m_bPreviewed = false;
    std::string m_strAlertIfStatus;
    wxButton* m_buttonPreview = nullptr;
    wxTextCtrl* m_textPreview = nullptr;
    std::thread m_preview;
    PostTargetPtr<Preview> m_pPreviewTarget;  // the preview's worker tells its text here
    RunFlagPtr m_pPreviewFlag;
    bool m_bPreviewDone = true;
    int m_nPreview = 0;  // which preview is the latest: an answer of an earlier one is late
};

}  // namespace sentrel
