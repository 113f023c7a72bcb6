#pragma once
// What every libcurl request of the program shares, whatever it fetches or sends: whom it
// trusts, and how its failures read.
#include <string>

#include "platform/CurlApi.h"
#include "platform/WebUrl.h"

namespace sentrel {

/// Why a request over the network failed, in one table for pages, mails and hooks.
enum class NetFailure {
    None,
    Refused,          ///< nothing accepted the connection
    Timeout,          ///< connecting or waiting for data took too long
    Resolve,          ///< the host name was not found
    Certificate,      ///< the server's certificate was not trusted
    TlsHandshake,     ///< TLS could not be agreed on
    StartTlsRefused,  ///< a mail server that offers no STARTTLS
    TooManyRedirects,
    Cancelled,        ///< given up by the program (its end, a dialog's cancel)
    Closed,           ///< the server closed the connection in the middle
    Network,          ///< anything else
};

/// How libcurl's result reads (None for CURLE_OK).
NetFailure NetFailureOf(CURLcode rc);

/// The failure as the user reads it: "连接被拒绝", "证书无效", ...
std::string NetReason(NetFailure failure);

/// The same of a URL libcurl has read already (a redirect's target, say).
bool IsWebUrl(CURLU* url);

/// Sets how a handle checks TLS: the certificate chain and its dates always, the host name
/// when asked (mail and hooks; a watched page's name may differ from its certificate's),
/// against the system's store, or the bundle that CURL_CA_BUNDLE (else SSL_CERT_FILE)
/// names, as the curl tool reads them: for users behind an inspecting proxy, and tests.
void UseTrustStore(CURL* handle, bool checkHostName);

}  // namespace sentrel
