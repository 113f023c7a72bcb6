#include "delivery/CurlMail.h"

#include <algorithm>
#include <cstring>

#include "base/Translate.h"
#include "platform/CurlApi.h"
#include "platform/CurlRules.h"

namespace sentrel {

namespace {

struct Upload {
    const std::string* message;
    std::size_t sent = 0;
    const std::atomic<bool>* cancel;
    std::string lastReply;  // the server's latest reply line
};

size_t Read(char* buf, size_t size, size_t n, void* data) {
    auto& u = *static_cast<Upload*>(data);
    const std::size_t take = std::min(size * n, u.message->size() - u.sent);
    std::memcpy(buf, u.message->data() + u.sent, take);
    u.sent += take;
    return take;
}

int Progress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& u = *static_cast<Upload*>(data);
    return u.cancel && *u.cancel ? 1 : 0;
}

// libcurl hands the server's replies to the debug function; the last one explains a refusal.
int Debug(CURL*, curl_infotype type, char* text, size_t n, void* data) {
    if (type != CURLINFO_HEADER_IN) return 0;
    std::string line(text, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) static_cast<Upload*>(data)->lastReply = line;
    return 0;
}

std::string ReasonOf(CURLcode rc, long response, const std::string& reply) {
    const NetFailure failure = NetFailureOf(rc);
    // A refusal by the server (login, recipient, message): its own words.
    if (failure == NetFailure::Network && response >= 400 && !reply.empty()) return reply;
    return NetReason(failure);
}

}  // namespace

bool SendOverTls(const MailServer& server, const std::string& user, const std::string& password,
                 const std::string& recipient, const std::string& message, std::string& reason,
                 const std::atomic<bool>* cancel) {
    if (!Curl()) {
        reason = Tr("无法加载 libcurl");
        return false;
    }
    CURL* h = Curl()->easy_init();
    if (!h) {
        reason = Tr("内存不足");
        return false;
    }
    Upload upload{&message, 0, cancel, {}};
    const bool implicit = server.security == MailSecurity::kSsl;
    const std::string url = std::string(implicit ? "smtps://" : "smtp://") + server.host + ":" +
                            std::to_string(server.port);
    const std::string from = "<" + server.from + ">";
    curl_slist* rcpt = Curl()->slist_append(nullptr, ("<" + recipient + ">").c_str());
    Curl()->easy_setopt(h, CURLOPT_URL, url.c_str());
    Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // STARTTLS or nothing: never AUTH or mail over a plain connection.
    Curl()->easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    UseTrustStore(h, true);
    Curl()->easy_setopt(h, CURLOPT_USERNAME, user.c_str());
    Curl()->easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
    Curl()->easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
    Curl()->easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt);
    Curl()->easy_setopt(h, CURLOPT_UPLOAD, 1L);
    Curl()->easy_setopt(h, CURLOPT_READFUNCTION, &Read);
    Curl()->easy_setopt(h, CURLOPT_READDATA, &upload);
    Curl()->easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
    // Each reply within 30 s, the whole mail within two minutes.
    Curl()->easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, 30L);
    Curl()->easy_setopt(h, CURLOPT_TIMEOUT, 120L);
    Curl()->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Progress);
    Curl()->easy_setopt(h, CURLOPT_XFERINFODATA, &upload);
    Curl()->easy_setopt(h, CURLOPT_VERBOSE, 1L);
    Curl()->easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Debug);
    Curl()->easy_setopt(h, CURLOPT_DEBUGDATA, &upload);
    const CURLcode rc = Curl()->easy_perform(h);
    long response = 0;
    Curl()->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response);
    Curl()->easy_cleanup(h);
    Curl()->slist_free_all(rcpt);
    if (rc == CURLE_OK) return true;
    reason = ReasonOf(rc, response, upload.lastReply);
    return false;
}

}  // namespace sentrel
