#pragma once
#include <string>

namespace sentrel {

/// Sends one mail from the account `user` (without the provider's suffix) to `recipient`
/// through the provider's server, signed "网页更新提醒". 0: sent; -1: the send failed;
/// -2: the mail client could not start. Alert mails and the test mail both go this way.
int SendReminderMail(const std::string& recipient, const std::string& user,
                     const std::string& password, const std::string& subject,
                     const std::string& body);

/// The test mail of the options dialog: its fixed subject, and its text followed by an
/// empty line and the two-line signature.
std::string TestMailSubject();
std::string TestMailBody(const std::string& homepage, const std::string& productLine);

}  // namespace sentrel
