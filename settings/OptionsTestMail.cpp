// Options' test mail: sent on a worker, so that a slow or silent server never freezes the
// dialog, and told in a box when it ends.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "controls/Notice.h"
#include "controls/WxText.h"
#include "delivery/MailProvider.h"
#include "delivery/ReminderMail.h"
#include "platform/Keyring.h"
#include "settings/OptionsDlg.h"
#include "support/Product.h"

namespace sentrel {

void COptionsDlg::OnTestMail() {
    if (m_bTesting) return;
    TakeSettings();
    if (!CheckMailFields() || !CheckServerFields()) return;
    const MailServer server = ResolveMailServer(m_strSmtpHost, m_nSmtpPort, m_strSmtpSecurity,
                                                m_strMailFrom, m_strSendUser);
    // The send runs on a worker so that a slow or silent server never freezes the window;
    // the dialog stays modal, with the button off and a busy cursor until the result.
    m_bTesting = true;
    // The focus leaves the button it turns off for 确定, so that keys still reach the
    // dialog: Escape gives the test up, Enter is OK (which waits for the result).
    if (wxWindow* ok = FindWindow(wxID_OK)) ok->SetFocus();
    m_btnTestMail->Disable();
    wxBeginBusyCursor();
    m_pCancelTest = std::make_shared<std::atomic<bool>>(false);
    const std::string body = TestMailBody(ProductWebAddress(), Tr(kProductLine));
    const std::string keyring = m_bSendPwdInKeyring ? KeyringServerOf(m_strSmtpHost) : "";
    if (!m_workers.Spawn([results = m_pResults, server, cancel = m_pCancelTest, rcv = m_strEmailRcv,
                          user = m_strSendUser, pwd = m_strSendPwd, body, keyring]() mutable {
            MailResult result;
            if (MailPassword(keyring, user, pwd, result.reason))
                result =
                    SendReminderMail(server, rcv, user, pwd, TestMailSubject(), body, cancel.get());
            else
                result.outcome = MailOutcome::NotSent;
            results->Post(std::move(result));
        })) {
        m_bTesting = false;
        wxEndBusyCursor();
        m_btnTestMail->Enable();
        ShowCannotStartThread(this);
    }
}

void COptionsDlg::OnTestMailDone(const MailResult& result) {
    if (!m_bTesting) return;
    m_bTesting = false;
    wxEndBusyCursor();
    if (result.outcome == MailOutcome::NoClient)
        ShowNotice(this, Tr("初始化winsock2失败！"), wxOK | wxICON_EXCLAMATION);
    else if (result.outcome == MailOutcome::Sent)
        ShowNotice(this, Tr("邮件测试发送成功！"), wxOK | wxICON_INFORMATION);
    else
        ShowNotice(this, Tr("邮件发送失败！原因：") + result.reason);
    m_btnTestMail->Enable(m_chkAlertEmail->GetValue());
}

}  // namespace sentrel
