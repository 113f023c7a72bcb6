#pragma once
#include <string>

namespace sentrel {

/// The test mail of the options dialog: its fixed subject and text, then an empty line
/// and the two-line signature.
std::string TestMailSubject();
std::string TestMailBody(const std::string& homepage, const std::string& productLine);

/// Sends one test mail from `user` (without the provider's suffix) to `recipient` through
/// the provider's server. 0: sent; -1: the send failed; -2: the mail client could not start.
int SendTestMail(const std::string& recipient, const std::string& user, const std::string& password,
                 const std::string& body);

}  // namespace sentrel
