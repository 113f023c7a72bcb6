#pragma once
// What every libcurl request of the program shares, whatever it fetches or sends: whom it
// trusts, and how its failures read.
#include <string>

#include "platform/CurlApi.h"
#include "platform/PageAccess.h"
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

/// scheme|host|port of a URL, the port as used: where a row's credentials may go. Empty
/// when it does not read.
std::string OriginOf(CURLU* url);
std::string OriginOf(const std::string& url);

/// Sets the handle's proxy for its next request (Environment gives it back to libcurl's
/// own reading of the environment).
void UseProxy(CURL* easy, const ProxyChoice& proxy);

/// A request that failed at its proxy rather than at its page: what went wrong there.
struct ProxyTrouble {
    NetFailure net = NetFailure::None;  ///< the proxy could not be reached or named
    long nStatus = 0;                   ///< or it answered this (407, a CONNECT's non-2xx)
    bool Any() const { return net != NetFailure::None || nStatus != 0; }
    /// "代理出错：连接被拒绝", "代理出错：HTTP 407".
    std::string Reason() const;
};
/// What became of a request's proxy, given libcurl's result and the final status.
/// `namedProxy`: the request was given a proxy by name, so that a connection refused can
/// only be the proxy's (through the environment's, libcurl tells the proxy's own codes).
ProxyTrouble ProxyTroubleOf(CURL* easy, CURLcode rc, long status, bool namedProxy);

}  // namespace sentrel
