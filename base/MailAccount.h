#pragma once
// The mail account as the settings keep it, which the settings store and the mail alike
// need: the fixed public provider, and where the account's password is kept.
#include <string>

namespace sentrel {

/// The fixed public mail provider: its SMTP server (AUTH LOGIN on port 25) and the
/// at-sign plus domain that turns the account's user name into the sender address.
extern const char* const g_szSmtpHost;
extern const char* const g_szMailSuffix;

/// The server name the mail password is kept under in the keyring: the stored server, or
/// the built-in one when none is stored.
std::string KeyringServerOf(const std::string& smtpHost);

}  // namespace sentrel
