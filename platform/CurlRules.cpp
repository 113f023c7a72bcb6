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
