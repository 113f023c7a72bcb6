// What Options checks before it takes the values (OK): the mail fields, the mail server, the
// push URLs. Each warns, puts the focus on the field at fault and returns false.
#include <wx/choice.h>
#include <wx/textctrl.h>

#include "controls/Notice.h"
#include "controls/WxText.h"
#include "delivery/HookSender.h"
#include "delivery/MailProvider.h"
#include "delivery/ReminderMail.h"
#include "platform/TextRules.h"
#include "settings/OptionsDlg.h"

#include "platform/PageAccess.h"
#include "support/Product.h"

namespace sentrel {

bool COptionsDlg::CheckServerFields() {
    const wxString portText = m_editSmtpPort->GetValue();
    const int port = portText.empty() ? 0 : AtoiClamped(portText.utf8_str());
    if (!portText.empty() && (port < 1 || !keys::kSmtpPort.InBounds(port))) {
        Warn(Tr("端口必须在 1 到 65535 之间！"), m_editSmtpPort);
        return false;
    }
    // The password in the clear over a network: asked once, for this server.
    const std::string& host = m_strSmtpHost;
    const std::string shownHost = host.empty() ? g_szSmtpHost : host;
    if (m_strSmtpSecurity == "none" && !IsLoopbackHost(shownHost) && m_strPlainConfirmed != host) {
        if (ShowNotice(this,
                       Tr("选择“无加密”后，邮件账户的密码将以明文经网络发送，途中的任何人都可能读到。"
                          "\n确定不加密吗？"),
                       wxYES_NO | wxNO_DEFAULT | wxICON_WARNING) != wxID_YES) {
            m_choiceSecurity->SetFocus();
            return false;
        }
        m_strPlainConfirmed = host;
    }
    return true;
}

bool COptionsDlg::CheckMailFields() {
    if (m_strEmailRcv.empty()) {
        Warn(Tr("接收邮箱不能为空！"), m_editEmailRcv);
        return false;
    }
    if (m_strSendUser.empty()) {
        Warn(Tr("发送账户用户名不能为空！"), m_editSendUser);
        return false;
    }
    m_strSendUser = NormaliseSendUser(m_strSendUser);
    // A password the keyring keeps but did not show is there all the same.
    if (m_strSendPwd.empty() && !m_bSendPwdInKeyring) {
        Warn(Tr("发送账号密码不能为空！"), m_editSendPwd);
        return false;
    }
    return true;
}

bool COptionsDlg::CheckHookFields() {
    // One URL a line, as the file keeps them; blank lines go.
    std::string webhooks;
    Settings typed;
    typed.m_strWebhook = m_strWebhook;
    typed.m_strNtfy = m_strNtfy;
    const HookTargets targets = HookTargets::Of(typed);
    std::string problem;
    for (const std::string& url : targets.webhooks) {
        if (!HookUrlUsable(url, problem)) {
            Warn(problem, m_editWebhook);
            return false;
        }
        webhooks += (webhooks.empty() ? "" : "\n") + url;
    }
    if (!targets.ntfy.empty() && !HookUrlUsable(targets.ntfy, problem)) {
        Warn(problem, m_editNtfy);
        return false;
    }
    m_strWebhook = webhooks;
    m_strNtfy = targets.ntfy;
    return true;
}

void COptionsDlg::Warn(const std::string& text, wxWindow* focus) {
    if (focus) focus->SetFocus();
    ShowNotice(this, text);
    if (focus) focus->SetFocus();
}

void COptionsDlg::OnOK() {
    if (m_bTesting) return;  // the test mail's result is still to come
    const wxString interval = m_editInterval->GetValue();
    if (interval.empty()) {
        Warn(Tr("监控间隔不能为空！"), m_editInterval);
        return;
    }
    if (AtoiClamped(interval.utf8_str()) < keys::kInterval.least) {
        Warn(Tr("监控间隔不能小于1秒！"), m_editInterval);
        return;
    }
    TakeSettings();
    std::string problem;
    if (!CheckProxy(m_strProxy, problem)) {
        Warn(problem, m_editProxy);
        return;
    }
    if (!CheckHookFields()) return;
    if (m_bAlertEmail && (!CheckMailFields() || !CheckServerFields())) return;
    SetReturnCode(wxID_OK);  // also when shown without a modal loop
    EndDialog(wxID_OK);
}

}  // namespace sentrel
