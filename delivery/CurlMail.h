#pragma once
#include <atomic>
#include <string>

#include "delivery/MailProvider.h"

namespace sentrel {

/// Sends one composed message over TLS (implicit, or STARTTLS before anything else)
/// through libcurl, which verifies the certificate and its host name against the system's
/// trust store, or the bundle of $CURL_CA_BUNDLE / $SSL_CERT_FILE. True when the server
/// took the mail; else `reason` says why, as the user reads it.
bool SendOverTls(const MailServer& server, const std::string& user, const std::string& password,
                 const std::string& recipient, const std::string& message, std::string& reason,
                 const std::atomic<bool>* cancel);

}  // namespace sentrel
