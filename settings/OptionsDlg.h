#pragma once
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "base/WorkerGroup.h"
#include "delivery/AlertMailThread.h"

class wxButton;

namespace sentrel {

/// The options dialog: the probe interval, the sound and mail switches, the mail account
/// and server, checked before OK, with a test mail sent on a worker thread. Its fields are
/// the settings' own (m_nInterval, m_bAlertWav, ...): the caller sets them before ShowModal
/// and reads them after OK. Plain settings are bound to their controls by key.
class COptionsDlg : public wxDialog, public Settings {
  public:
    explicit COptionsDlg(wxWindow* parent);
    ~COptionsDlg() override;

    void SetValues(const Settings& values) { static_cast<Settings&>(*this) = values; }
    const Settings& Values() const { return *this; }

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
    wxChoice* LanguageChoice() const { return m_choiceLanguage; }
    wxTextCtrl* MailFromEdit() const { return m_editMailFrom; }
    wxCheckBox* WebhookCheck() const { return m_chkWebhook; }
    wxTextCtrl* WebhookEdit() const { return m_editWebhook; }
    wxTextCtrl* NtfyEdit() const { return m_editNtfy; }
    wxTextCtrl* BrowserEdit() const { return m_editBrowser; }
    wxTextCtrl* ProxyEdit() const { return m_editProxy; }
    wxWindow* ProviderNote() const { return m_noteProvider; }
    /// The note that the password stays in the file: only where no keyring answers.
    wxWindow* KeyringNote() const { return m_noteKeyring; }

  private:
    void EnableMailControls(bool bEnable);
    /// The found browser, shown in the empty browser field.
    void ShowFoundBrowser();
    void OnChooseBrowser();
    /// Reads the keyring's password when it stands for the password, and whether a keyring
    /// answers: a note says so when none does.
    void ReadKeyring();
    /// Step 5 of OK, shared with the test mail: false after a warning.
    bool CheckMailFields();
    /// Checks the server fields as typed; false after a warning, or when the user would
    /// rather not send the password in the clear.
    bool CheckServerFields();
    /// Reads the webhook and ntfy URLs, one a line; false after a warning.
    bool CheckHookFields();
    /// The server the fields describe, with the defaults filled in.
    std::string ChosenSecurity() const;
    void Warn(const std::string& text, wxWindow* focus);
    void OnTestMailDone(const MailResult& result);
    /// Shows a setting in its control, and takes it back from there.
    template <typename T, typename Control>
    void BindSetting(const SettingKey<T>& key, Control* control);
    /// The same, with how the setting is shown and read.
    template <typename T>
    void BindSetting(const SettingKey<T>& key, std::function<void(const T&)> put,
                     std::function<void(T&)> take);
    /// Every bound setting from its control.
    void TakeSettings();

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
    wxChoice* m_choiceLanguage = nullptr;
    wxTextCtrl* m_editMailFrom = nullptr;
    wxCheckBox* m_chkWebhook = nullptr;
    wxTextCtrl* m_editWebhook = nullptr;
    wxTextCtrl* m_editNtfy = nullptr;
    wxTextCtrl* m_editBrowser = nullptr;
    wxTextCtrl* m_editProxy = nullptr;
    wxWindow* m_noteProvider = nullptr;
    wxWindow* m_noteKeyring = nullptr;
    std::vector<std::function<void()>> m_puts;   // setting to control, one per bound setting
    std::vector<std::function<void()>> m_takes;  // control to setting
    MailTarget m_pResults;                       // the test mail's worker reports here
    WorkerGroup m_workers;                       // the test mail
    bool m_bTesting = false;
    std::shared_ptr<std::atomic<bool>> m_pCancelTest;  // set to give the test mail up
    std::string m_strPlainConfirmed;  // the host whose clear-text password was accepted
};

}  // namespace sentrel
