#include "delivery/ReminderMail.h"

#include "base/Translate.h"
#include "delivery/CurlMail.h"
#include "delivery/MailProvider.h"
#include "delivery/SmtpClient.h"
#include "platform/CurlRules.h"
#include "platform/Keyring.h"

namespace sentrel {

namespace {

// Why the plain dialogue failed, as the user reads it.
std::string ReasonOf(const CSmtpClient& mail) {
    switch (mail.GetError()) {
        case CSmtpClient::kNoConnection:
            switch (mail.ConnectError()) {
                case CSmtpClient::kHostUnknown:
                case CSmtpClient::kBadAddress:
                    return NetReason(NetFailure::Resolve);
                default:
                    return NetReason(NetFailure::Refused);
            }
        case CSmtpClient::kRecvFailed:
            return NetReason(NetFailure::Timeout);
        case CSmtpClient::kClosedEarly:
            return NetReason(NetFailure::Closed);
        case CSmtpClient::kCancelled:
            return NetReason(NetFailure::Cancelled);
        case CSmtpClient::kTooLarge:
            return Tr("邮件过长");
        default:
            break;
    }
    // A refusal: the server's own words ("535 Error: authentication failed").
    return mail.LastReply().empty() ? NetReason(NetFailure::Network) : mail.LastReply();
}

}  // namespace

bool MailPassword(const std::string& keyringServer, const std::string& user, std::string& password,
                  std::string& reason) {
    if (!password.empty() || keyringServer.empty() || user.empty()) return true;
    std::string why;
    switch (KeyringLookup(keyringServer, user, password, why)) {
        case KeyringAnswer::kYes:
        case KeyringAnswer::kNo:  // none kept: the server says what it thinks of that
            return true;
        case KeyringAnswer::kNoKeyring:
        case KeyringAnswer::kNoAnswer:
            break;
    }
    reason = Tr("无法读取密钥环中的密码");
    return false;
}

MailResult SendReminderMail(const MailServer& server, const std::string& recipient,
                            const std::string& user, const std::string& password,
                            const std::string& subject, const std::string& body,
                            const std::atomic<bool>* cancel) {
    const std::string& sender = server.from;
    CSmtpClient mail;
    if (mail.GetError() != 0) return {MailOutcome::NoClient, Tr("初始化Socket失败！")};
    mail.SetServer(server.host.c_str(), server.port);
    mail.SetCancelFlag(cancel);
    mail.SetUserName(user.c_str());
    mail.SetPassword(password.c_str());
    mail.SetFromName(Tr("网页更新提醒").c_str());
    mail.SetFromAddress(sender.c_str());
    mail.SetReplyAddress(sender.c_str());
    mail.SetSubject(subject.c_str());
    mail.AddTo(recipient.c_str(), nullptr);
    mail.SetPriority(3);
    mail.SetMailerName("Foxmail v6.5");
    mail.SetBody(body.c_str());
    std::string why;
    bool sent = false;
    if (server.security == MailSecurity::kNone) {
        sent = mail.Send();
        if (!sent) why = ReasonOf(mail);
    } else {
        std::string message;
        if (mail.ComposeMessage(message))
            sent = SendOverTls(server, user, password, recipient, message, why, cancel);
        else
            why = Tr("邮件过长");
    }
    if (sent) return {MailOutcome::Sent, std::string()};
    return {MailOutcome::NotSent, why};
}

std::string TestMailSubject() {
    return Tr("（测试）来自 HalvexSentrel");
}

std::string TestMailBody(const std::string& homepage, const std::string& productLine) {
    return Tr("收到此邮件，表明您在HalvexSentrel中的邮件发送设置成功！") + "\r\n\r\n" +
           Tr("您无需回复本邮件。") + "\r\n\r\n" + homepage + "\r\n" + productLine;
}

}  // namespace sentrel
