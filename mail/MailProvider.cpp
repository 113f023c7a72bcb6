#include "MailProvider.h"

#include <cstdlib>

#include "Files.h"

namespace sentrel {

const char* const g_szSmtpHost = "smtp.163.com";
const char* const g_szMailSuffix = "@163.com";

std::string SmtpHost() {
    const std::string host = GetEnv("SENTREL_SMTP_HOST");
    return host.empty() ? g_szSmtpHost : host;
}

std::uint16_t SmtpPort() {
    const std::string text = GetEnv("SENTREL_SMTP_PORT");
    if (text.empty()) return kSmtpPort;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < 1 || v > 65535) return kSmtpPort;
    return static_cast<std::uint16_t>(v);
}

std::string NormaliseSendUser(const std::string& user) {
    std::string s = user;
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const std::string suffix = g_szMailSuffix;  // already lower case
    // One left-to-right pass, as a text replace does it.
    std::string out;
    std::size_t from = 0;
    for (std::size_t pos; (pos = s.find(suffix, from)) != std::string::npos;) {
        out.append(s, from, pos - from);
        from = pos + suffix.size();
    }
    out.append(s, from, std::string::npos);
    return out;
}

}  // namespace sentrel
