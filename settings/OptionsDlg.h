#pragma once
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <atomic>
#include <memory>
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
    bool m_bSendPwdInKeyring = false;  ///< the keyring's password stands (not shown, not typed)
    bool m_bMailOnFailure = false;
    bool m_bNotify = true;
    int m_nFailAfter = 2;       // not edited here; carried through
    std::string m_strSmtpHost;  ///< empty: the built-in server
    int m_nSmtpPort = 0;        ///< 0: the port of the security
    std::string m_strSmtpSecurity = "ssl";
    std::string m_strMailFrom;  ///< empty: the user name at the provider's domain

    /// Copies the values in, and out (what the caller takes back after OK).
    void SetValues(const MonitorSettings& values);
    MonitorSettings Values() const;

    int ShowModal() override;
    /// Checks the values in order; closes with OK only when all are valid.
    void OnOK();
    /// Closes with Cancel; a test mail under way is cancelled.
    void OnCancel();
    void OnCheckAlertEmail();
    /// The security changed: a port left at the old security's default takes the new one's.
    void OnSecurityChanged();
    /// The built-in server's note shows only while that server is chosen.
    void OnServerChanged();
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
    wxTextCtrl* SmtpHostEdit() const { return m_editSmtpHost; }
    wxTextCtrl* SmtpPortEdit() const { return m_editSmtpPort; }
    wxChoice* SecurityChoice() const { return m_choiceSecurity; }
    wxTextCtrl* MailFromEdit() const { return m_editMailFrom; }
    wxWindow* ProviderNote() const { return m_noteProvider; }
    /// The note that the password stays in the file: only where no keyring answers.
    wxWindow* KeyringNote() const { return m_noteKeyring; }

  private:
    void EnableMailControls(bool bEnable);
    /// Reads the keyring's password when it stands for the password, and whether a keyring
    /// answers: a note says so when none does.
    void ReadKeyring();
    /// Step 5 of OK, shared with the test mail: false after a warning.
    bool CheckMailFields();
    /// Reads the server fields; false after a warning, or when the user would rather not
    /// send the password in the clear.
    bool ReadServerFields();
    /// The server the fields describe, with the defaults filled in.
    std::string ChosenSecurity() const;
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
    wxTextCtrl* m_editSmtpHost = nullptr;
    wxTextCtrl* m_editSmtpPort = nullptr;
    wxChoice* m_choiceSecurity = nullptr;
    wxTextCtrl* m_editMailFrom = nullptr;
    wxWindow* m_noteProvider = nullptr;
    wxWindow* m_noteKeyring = nullptr;
    PostTargetPtr m_pResults;  // the test mail's worker reports here
    bool m_bTesting = false;
    std::shared_ptr<std::atomic<bool>> m_pCancelTest;  // set to give the test mail up
    std::shared_ptr<std::string> m_pTestReason;        // why the test mail failed
    std::string m_strPlainConfirmed;  // the host whose clear-text password was accepted
};

}  // namespace sentrel
