#include "ReminderMail.h"

#include "MailProvider.h"
#include "SmtpClient.h"

namespace sentrel {

int SendReminderMail(const std::string& recipient, const std::string& user,
                     const std::string& password, const std::string& subject,
                     const std::string& body) {
    const std::string sender = user + g_szMailSuffix;
    CSmtpClient mail;
    if (mail.GetError() != 0) return -2;
    const std::string host = SmtpHost();
    mail.SetServer(host.c_str(), SmtpPort());
    mail.SetUserName(user.c_str());
    mail.SetPassword(password.c_str());
    mail.SetFromName("网页更新提醒");
    mail.SetFromAddress(sender.c_str());
    mail.SetReplyAddress(sender.c_str());
    mail.SetSubject(subject.c_str());
    mail.AddTo(recipient.c_str(), nullptr);
    mail.SetPriority(3);
    mail.SetMailerName("Foxmail v6.5");
    mail.SetBody(body.c_str());
    return mail.Send() ? 0 : -1;
}

std::string TestMailSubject() {
    return "（测试）来自 HalvexSentrel";
}

std::string TestMailBody(const std::string& homepage, const std::string& productLine) {
    return "收到此邮件，表明您在HalvexSentrel中的邮件发送设置成功！\r\n\r\n您无需回复本邮件。"
           "\r\n\r\n" +
           homepage + "\r\n" + productLine;
}

}  // namespace sentrel
