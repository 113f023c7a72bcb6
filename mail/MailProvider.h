#pragma once
#include <cstdint>
#include <string>

namespace sentrel {

/// The fixed public mail provider: its SMTP server (AUTH LOGIN on port 25) and the
/// at-sign plus domain that turns the account's user name into the sender address.
extern const char* const g_szSmtpHost;
extern const char* const g_szMailSuffix;
constexpr std::uint16_t kSmtpPort = 25;

/// The SMTP host to use: $SENTREL_SMTP_HOST when set (tests, relays), else g_szSmtpHost.
std::string SmtpHost();
/// The SMTP port to use: $SENTREL_SMTP_PORT when set to a valid port, else 25.
std::uint16_t SmtpPort();

/// The stored form of the sender's user name: lower case, with every occurrence of the
/// provider's "@domain" removed.
std::string NormaliseSendUser(const std::string& user);

}  // namespace sentrel
