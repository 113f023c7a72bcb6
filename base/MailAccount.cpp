#include "base/MailAccount.h"

namespace sentrel {

const char* const g_szSmtpHost = "smtp.163.com";
const char* const g_szMailSuffix = "@163.com";

std::string KeyringServerOf(const std::string& smtpHost) {
    return smtpHost.empty() ? g_szSmtpHost : smtpHost;
}

}  // namespace sentrel
