#pragma once
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <string>

#include "MonitorSettings.h"
#include "PostTarget.h"

class wxButton;
class wxThreadEvent;

namespace sentrel {

/// The options dialog: the probe interval, the sound and mail switches and the mail
/// account, checked before OK, with a test mail sent on a worker thread.
class COptionsDlg : public wxDialog {
  public:
    explicit COptionsDlg(wxWindow* parent);
    ~COptionsDlg() override;

    // The six settings; the caller fills them before ShowModal and reads them after OK.
    int m_nInterval = 0;
    bool m_bAlertWav = false;
    bool m_bAlertEmail = false;
    std::string m_strEmailRcv;
    std::string m_strSendUser;
    std::string m_strSendPwd;
    bool m_bMailOnFailure = false;
    bool m_bNotify = true;
    int m_nFailAfter = 2;  // not edited here; carried through

    /// Copies the values in, and out (what the caller takes back after OK).
    void SetValues(const MonitorSettings& values);
    MonitorSettings Values() const;

    int ShowModal() override;
    /// Checks the values in order; closes with OK only when all are valid.
    void OnOK();
    void OnCancel();
    void OnCheckAlertEmail();
    /// Starts the test mail; the result arrives as a box while the dialog stays usable.
    void OnTestMail();
    bool IsTestRunning() const { return m_bTesting; }

    /// Puts the fields into the controls (done by ShowModal).
    void OnInitDialog();

    wxTextCtrl* IntervalEdit() const { return m_editInterval; }
    wxCheckBox* AlertWavCheck() const { return m_chkAlertWav; }
    wxCheckBox* AlertEmailCheck() const { return m_chkAlertEmail; }
    wxCheckBox* MailOnFailureCheck() const { return m_chkMailOnFailure; }
    wxCheckBox* NotifyCheck() const { return m_chkNotify; }
    wxTextCtrl* EmailRcvEdit() const { return m_editEmailRcv; }
    wxTextCtrl* SendUserEdit() const { return m_editSendUser; }
    wxTextCtrl* SendPwdEdit() const { return m_editSendPwd; }
    wxButton* TestMailButton() const { return m_btnTestMail; }

  private:
    void EnableMailControls(bool bEnable);
    /// Step 5 of OK, shared with the test mail: false after a warning.
    bool CheckMailFields();
    void Warn(const char* text, wxWindow* focus);
    void OnTestMailDone(wxThreadEvent& event);

    wxTextCtrl* m_editInterval = nullptr;
    wxCheckBox* m_chkAlertWav = nullptr;
    wxCheckBox* m_chkAlertEmail = nullptr;
    wxCheckBox* m_chkMailOnFailure = nullptr;
    wxCheckBox* m_chkNotify = nullptr;
    wxTextCtrl* m_editEmailRcv = nullptr;
    wxTextCtrl* m_editSendUser = nullptr;
    wxTextCtrl* m_editSendPwd = nullptr;
    wxButton* m_btnTestMail = nullptr;
    PostTargetPtr m_pResults;  // the test mail's worker reports here
    bool m_bTesting = false;
};

}  // namespace sentrel
