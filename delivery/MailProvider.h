#pragma once
#include <cstdint>
#include <string>

#include "base/MailAccount.h"

namespace sentrel {

constexpr std::uint16_t kSmtpPort = 25;

/// The SMTP host to use: $SENTREL_SMTP_HOST when set (tests, relays), else g_szSmtpHost.
std::string SmtpHost();
/// The SMTP port to use: $SENTREL_SMTP_PORT when set to a valid port, else 25.
std::uint16_t SmtpPort();

/// How a mail server is reached.
enum class MailSecurity {
    kSsl,       ///< TLS from the first byte ("SSL/TLS", port 465)
    kStartTls,  ///< plain, then STARTTLS before anything else ("STARTTLS", port 587)
    kNone,      ///< no encryption ("无加密", port 25)
};
/// "ssl", "starttls", "none": the stored text; anything else reads as ssl.
MailSecurity ParseMailSecurity(const std::string& text);
const char* MailSecurityName(MailSecurity security);
std::uint16_t DefaultMailPort(MailSecurity security);

/// Where and how alert mails are sent.
struct MailServer {
    std::string host;
    std::uint16_t port = 0;
    MailSecurity security = MailSecurity::kSsl;
    std::string from;  ///< the sender address
};

/// The server of the stored settings, each left empty (or 0) meaning its default: the
/// built-in provider, the port of the security, the user name at the provider's domain.
/// $SENTREL_SMTP_HOST and $SENTREL_SMTP_PORT override host and port; they mean no
/// encryption unless $SENTREL_SMTP_SECURITY names one.
MailServer ResolveMailServer(const std::string& host, int port, const std::string& security,
                             const std::string& from, const std::string& user);
/// True for the provider this version was made for (its note shows in Options).
bool IsBuiltInMailHost(const std::string& host);
/// True for names and addresses of this machine: mail there never crosses a network.
bool IsLoopbackHost(const std::string& host);

/// The stored form of the sender's user name: lower case, with every occurrence of the
/// provider's "@domain" removed.
std::string NormaliseSendUser(const std::string& user);

}  // namespace sentrel
