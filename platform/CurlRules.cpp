#include "platform/CurlRules.h"

#include <cstring>

#include "base/Translate.h"
#include "platform/Files.h"

namespace sentrel {

NetFailure NetFailureOf(CURLcode rc) {
    switch (rc) {
        case CURLE_OK:
            return NetFailure::None;
        case CURLE_COULDNT_CONNECT:
            return NetFailure::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            return NetFailure::Timeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return NetFailure::Resolve;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return NetFailure::Certificate;
        case CURLE_SSL_CONNECT_ERROR:
            return NetFailure::TlsHandshake;
        case CURLE_USE_SSL_FAILED:
            return NetFailure::StartTlsRefused;
        case CURLE_TOO_MANY_REDIRECTS:
            return NetFailure::TooManyRedirects;
        case CURLE_ABORTED_BY_CALLBACK:
            return NetFailure::Cancelled;
        default:
            return NetFailure::Network;
    }
}

std::string NetReason(NetFailure failure) {
    switch (failure) {
        case NetFailure::None:
            return std::string();
        case NetFailure::Refused:
            return Tr("连接被拒绝");
        case NetFailure::Timeout:
            return Tr("超时");
        case NetFailure::Resolve:
            return Tr("无法解析域名");
        case NetFailure::Certificate:
            return Tr("证书无效");
        case NetFailure::TlsHandshake:
            return Tr("TLS 握手失败");
        case NetFailure::StartTlsRefused:
            return Tr("服务器不支持 STARTTLS");
        case NetFailure::TooManyRedirects:
            return Tr("重定向过多");
        case NetFailure::Cancelled:
            return Tr("已取消");
        case NetFailure::Closed:
            return Tr("服务器断开了连接");
        case NetFailure::Network:
            break;
    }
    return Tr("网络错误");
}

bool IsWebUrl(CURLU* u) {
    char* scheme = nullptr;
    if (!u || Curl()->url_get(u, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const bool web = std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0;  // lower case
    Curl()->free(scheme);
    return web;
}

bool IsWebUrl(const std::string& url) {
    if (!Curl()) return false;
    CURLU* u = Curl()->url();
    // No scheme is guessed: text that names none is no web address.
    const bool web = u && Curl()->url_set(u, CURLUPART_URL, url.c_str(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) == CURLUE_OK &&
                     IsWebUrl(u);
    if (u) Curl()->url_cleanup(u);
    return web;
}

void UseTrustStore(CURL* h, bool checkHostName) {
    Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYHOST, checkHostName ? 2L : 0L);
    std::string bundle = GetEnv("CURL_CA_BUNDLE");
    if (bundle.empty()) bundle = GetEnv("SSL_CERT_FILE");
    if (!bundle.empty()) Curl()->easy_setopt(h, CURLOPT_CAINFO, bundle.c_str());
}

}  // namespace sentrel

namespace sentrel {

std::string OriginOf(CURLU* url) {
    std::string origin;
    for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        char* text = nullptr;
        if (url && Curl()->url_get(url, part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK && text) origin += text;
        if (text) Curl()->free(text);
        origin += '|';
    }
    return origin;
}

std::string OriginOf(const std::string& url) {
    CURLU* u = Curl() ? Curl()->url() : nullptr;
    const bool read = u && Curl()->url_set(u, CURLUPART_URL, url.c_str(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) == CURLUE_OK;
    const std::string origin = read ? OriginOf(u) : std::string();
    if (u) Curl()->url_cleanup(u);
    return origin;
}

void UseProxy(CURL* h, const ProxyChoice& proxy) {
    switch (proxy.kind) {
        case ProxyChoice::Environment:
            Curl()->easy_setopt(h, CURLOPT_PROXY, static_cast<const char*>(nullptr));
            Curl()->easy_setopt(h, CURLOPT_NOPROXY, static_cast<const char*>(nullptr));
            break;
        case ProxyChoice::Direct:
            Curl()->easy_setopt(h, CURLOPT_PROXY, "");  // not even the environment's
            break;
        case ProxyChoice::Url:
            Curl()->easy_setopt(h, CURLOPT_PROXY, proxy.url.c_str());
            Curl()->easy_setopt(h, CURLOPT_NOPROXY, "");  // every host through it, loopback too
            break;
    }
    // Whatever went before a CONNECT's tunnel is no part of the page's answer.
    Curl()->easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

ProxyTrouble ProxyTroubleOf(CURL* h, CURLcode rc, long status, bool namedProxy) {
    ProxyTrouble trouble;
    long connectCode = 0;
    Curl()->easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (connectCode != 0 && connectCode / 100 != 2) {
        trouble.nStatus = connectCode;
        return trouble;
    }
    switch (rc) {
        case CURLE_OK:
            // A proxy that wants credentials answers for itself; any other status is the page's.
            if (status == 407) trouble.nStatus = status;
            break;
        case CURLE_COULDNT_RESOLVE_PROXY:
            trouble.net = NetFailure::Resolve;
            break;
        case CURLE_COULDNT_CONNECT:
            if (namedProxy) trouble.net = NetFailure::Refused;
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:  // a named proxy of a kind libcurl does not speak
        case CURLE_URL_MALFORMAT:
            if (namedProxy) trouble.net = NetFailure::Network;
            break;
        case CURLE_PROXY: {
            // A SOCKS proxy's reply about the page's host is the page's failure.
            long code = 0;
            Curl()->easy_getinfo(h, CURLINFO_PROXY_ERROR, &code);
            switch (static_cast<CURLproxycode>(code)) {
                case CURLPX_REPLY_CONNECTION_REFUSED:
                case CURLPX_REPLY_HOST_UNREACHABLE:
                case CURLPX_REPLY_NETWORK_UNREACHABLE:
                case CURLPX_RESOLVE_HOST:
                case CURLPX_REPLY_TTL_EXPIRED:
                    break;
                default:
                    trouble.net = NetFailure::Network;
            }
            break;
        }
        default:
            break;
    }
    return trouble;
}

std::string ProxyTrouble::Reason() const {
    return Fill(Tr("代理出错：{0}"), {nStatus ? "HTTP " + std::to_string(nStatus) : NetReason(net)});
}

}  // namespace sentrel
