#pragma once
#include <atomic>
#include <string>

#include "delivery/MailProvider.h"
#include "delivery/MailResult.h"

namespace sentrel {

/// Sends one mail from the account `user` to `recipient` through `server`, signed
/// "网页更新提醒": code 0 sent; -1 the send failed, the reason says why; -2 the mail client
/// could not start. Alert mails and the test mail both go this way. A set `cancel` flag
/// ends the send at its next wait.
MailResult SendReminderMail(const MailServer& server, const std::string& recipient,
                            const std::string& user, const std::string& password,
                            const std::string& subject, const std::string& body,
                            const std::atomic<bool>* cancel = nullptr);

/// The password a mail logs in with: `password` as given, or, when it is empty and
/// `keyringServer` is not, what the keyring keeps for that server and `user` (asked within
/// its bound, on the caller's thread: a mail's own). False, with the reason, when the
/// keyring does not give it.
bool MailPassword(const std::string& keyringServer, const std::string& user, std::string& password,
                  std::string& reason);

/// The test mail of the options dialog: its fixed subject, and its text followed by an
/// empty line and the two-line signature.
std::string TestMailSubject();
std::string TestMailBody(const std::string& homepage, const std::string& productLine);

}  // namespace sentrel
