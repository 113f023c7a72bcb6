#include "delivery/MailProvider.h"

#include <cstdlib>

#include "platform/Files.h"

namespace sentrel {


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

MailSecurity ParseMailSecurity(const std::string& text) {
    if (text == "starttls") return MailSecurity::kStartTls;
    if (text == "none") return MailSecurity::kNone;
    return MailSecurity::kSsl;
}

const char* MailSecurityName(MailSecurity security) {
    switch (security) {
        case MailSecurity::kStartTls:
            return "starttls";
        case MailSecurity::kNone:
            return "none";
        case MailSecurity::kSsl:
            break;
    }
    return "ssl";
}

std::uint16_t DefaultMailPort(MailSecurity security) {
    switch (security) {
        case MailSecurity::kStartTls:
            return 587;
        case MailSecurity::kNone:
            return kSmtpPort;
        case MailSecurity::kSsl:
            break;
    }
    return 465;
}

MailServer ResolveMailServer(const std::string& host, int port, const std::string& security,
                             const std::string& from, const std::string& user) {
    MailServer server;
    server.host = host.empty() ? g_szSmtpHost : host;
    server.security = ParseMailSecurity(security);
    server.port = port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port)
                                             : DefaultMailPort(server.security);
    server.from = from.empty() ? user + g_szMailSuffix : from;
    const std::string envHost = GetEnv("SENTREL_SMTP_HOST");
    const std::string envPort = GetEnv("SENTREL_SMTP_PORT");
    if (!envHost.empty() || !envPort.empty()) {
        // A relay or a test server: plain unless told otherwise.
        server.security = ParseMailSecurity(GetEnv("SENTREL_SMTP_SECURITY").empty()
                                                ? std::string("none")
                                                : GetEnv("SENTREL_SMTP_SECURITY"));
        if (!envHost.empty()) server.host = envHost;
        server.port = envPort.empty() ? DefaultMailPort(server.security) : SmtpPort();
    }
    return server;
}

bool IsBuiltInMailHost(const std::string& host) {
    return host.empty() || host == g_szSmtpHost;
}

bool IsLoopbackHost(const std::string& host) {
    return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
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
