// The page size probe: a watcher's HTTP session and the requests of one probe.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "CurlApi.h"
#include "Files.h"
#include "PageTextCounter.h"
#include "ProbeTransfer.h"
#include "Sockets.h"
#include "WatchThread.h"

namespace sentrel {
using namespace probe;

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The scheme decides whether a request is secure; only http and https are watched.
bool SchemeAllowed(CURLU* u) {
    char* scheme = nullptr;
    if (Curl()->url_get(u, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    bool ok = std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0;
    Curl()->free(scheme);
    return ok;
}

ProbeFailure FailureOfCode(CURLcode rc) {
    switch (rc) {
        case CURLE_COULDNT_CONNECT:
            return ProbeFailure::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            return ProbeFailure::Timeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ProbeFailure::Resolve;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return ProbeFailure::Tls;
        case CURLE_TOO_MANY_REDIRECTS:
            return ProbeFailure::TooManyRedirects;
        default:
            return ProbeFailure::Network;
    }
}

// The sockets libcurl opens and closes for one session.
int OnSocketOpened(void* sockets, curl_socket_t socket, curlsocktype) {
    static_cast<std::vector<std::intptr_t>*>(sockets)->push_back(
        static_cast<std::intptr_t>(socket));
    return CURL_SOCKOPT_OK;
}

int OnSocketClosed(void* data, curl_socket_t socket) {
    auto& sockets = *static_cast<std::vector<std::intptr_t>*>(data);
    sockets.erase(std::remove(sockets.begin(), sockets.end(), static_cast<std::intptr_t>(socket)),
                  sockets.end());
    SocketClose(static_cast<std::intptr_t>(socket));
    return 0;
}

}  // namespace

bool CWatchThread::OpenSession() {
    if (!Curl()) return false;  // no libcurl to be had: the session is refused
    CloseSession();
    CURL* h = Curl()->easy_init();
    CURLM* multi = Curl()->multi_init();
    m_pHeaders = Curl()->slist_append(nullptr, "Accept: */*");
    if (!h || !multi || !m_pHeaders) {
        if (h) Curl()->easy_cleanup(h);
        if (multi) Curl()->multi_cleanup(multi);
        Curl()->slist_free_all(m_pHeaders);
        m_pHeaders = nullptr;
        return false;
    }
    // A multi handle of its own: its connection cache keeps the connection between probes,
    // and its wait can be bounded to the milliseconds a small body may take.
    Curl()->multi_setopt(multi, CURLMOPT_MAXCONNECTS, 4L);
    Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    // "No more than 5 s without data": below one byte a second for five seconds.
    Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 5L);
    Curl()->easy_setopt(h, CURLOPT_TIMEOUT, m_nRequestCapSeconds);
    Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    Curl()->easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    Curl()->easy_setopt(h, CURLOPT_HTTPGET, 1L);
    Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, m_pHeaders);
    Curl()->easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    Curl()->easy_setopt(h, CURLOPT_COOKIEFILE, "");  // cookies live as long as the session
    // Redirects are followed here, one request per hop, so that no redirect body is read.
    Curl()->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);  // a name mismatch is accepted
    std::string bundle = GetEnv("CURL_CA_BUNDLE");
    if (bundle.empty()) bundle = GetEnv("SSL_CERT_FILE");
    if (!bundle.empty()) Curl()->easy_setopt(h, CURLOPT_CAINFO, bundle.c_str());
    Curl()->easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    Curl()->easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    Curl()->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    // The session's own sockets, so that a kept connection can be looked at between requests.
    Curl()->easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, &OnSocketOpened);
    Curl()->easy_setopt(h, CURLOPT_SOCKOPTDATA, &m_sockets);
    Curl()->easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &OnSocketClosed);
    Curl()->easy_setopt(h, CURLOPT_CLOSESOCKETDATA, &m_sockets);
    m_pSession = h;
    m_pMulti = multi;
    return true;
}

void CWatchThread::DropDirtyConnections() {
    // Between requests every connection of the session is idle, so nothing may wait on
    // one: bytes that came after its last response (a second response, a late body, a
    // stray line end) would be read as the next request's answer. Shut, such a
    // connection is dropped by libcurl, which connects anew.
    for (std::intptr_t socket : m_sockets)
        if (SocketHasInput(socket)) SocketShutdown(socket);
}

int CWatchThread::Perform(Transfer& t) {
    DropDirtyConnections();
    Curl()->multi_add_handle(m_pMulti, m_pSession);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (Curl()->multi_perform(m_pMulti, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        bool done = false;
        while (CURLMsg* m = Curl()->multi_info_read(m_pMulti, &queued))
            if (m->msg == CURLMSG_DONE) {
                result = m->data.result;
                done = true;
            }
        if (done || running == 0) break;
        int waitMs = 1000;
        if (t.bDraining) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                t.drainDeadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                // The body is late: the connection goes with it, and the headers answer.
                t.bStoppedByUs = true;
                result = CURLE_WRITE_ERROR;
                break;
            }
            waitMs = static_cast<int>(std::min<long long>(waitMs, left.count() + 1));
        }
        if (t.abortFlag && t.abortFlag->IsAborted()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        Curl()->multi_poll(m_pMulti, nullptr, 0, waitMs, nullptr);
    }
    // A transfer removed before its end takes its connection with it.
    Curl()->multi_remove_handle(m_pMulti, m_pSession);
    return result;
}

bool CWatchThread::PerformWithRetry(Transfer& t) {
    Curl()->easy_setopt(m_pSession, CURLOPT_URL, t.url.c_str());
    Curl()->easy_setopt(m_pSession, CURLOPT_HEADERDATA, &t);
    Curl()->easy_setopt(m_pSession, CURLOPT_WRITEDATA, &t);
    Curl()->easy_setopt(m_pSession, CURLOPT_XFERINFODATA, &t);
    // Only a body that is read needs libcurl to ignore Content-Length (it is read with the
    // atoi rule here, and to the close when malformed). Headers-only requests let libcurl
    // use the length, so that a small body can be read and the connection kept.
    bool ignoreLength = t.bWantBody;
    for (int attempt = 0;; ++attempt) {
        t.ResetResponse();
        // One cap for the whole probe: hops, the retry and a second request share it.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Fail(ProbeFailure::Timeout);
        Curl()->easy_setopt(m_pSession, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        Curl()->easy_setopt(m_pSession, CURLOPT_IGNORE_CONTENT_LENGTH, ignoreLength ? 1L : 0L);
        const CURLcode rc = static_cast<CURLcode>(Perform(t));
        if (rc == CURLE_OK) return t.bHeadersDone || Fail(ProbeFailure::Network);
        if (rc == CURLE_WRITE_ERROR && t.bStoppedByUs) return true;
        // A body without a length ends where the server closes. Schannel calls a TLS close
        // without its close_notify an error, OpenSSL's libcurl does not: the page is what
        // came, on both systems.
        if (rc == CURLE_RECV_ERROR && t.bWantBody && t.bHeadersDone && t.status == 200 &&
            !t.bLimited && !t.bChunked)
            return true;
        // Headers were all this request needed: what became of an unneeded body is no matter.
        if (!t.bWantBody && t.bHeadersDone) return true;
        if (rc == CURLE_WEIRD_SERVER_REPLY && !t.bWantBody && t.status != 0 && !ignoreLength) {
            // libcurl refused a malformed Content-Length, and newer versions do so before
            // the header reaches us. Asked again without the length check, the header is
            // read here: the atoi rule takes a leading number ("123abc" is 123), and a
            // redirect gives its Location.
            if (t.contentLength.empty() || IsRedirect(t.status)) {
                ignoreLength = true;
                if (t.status == 200 && t.retryCounter) {
                    // Asked again anyway: a length of no number is then measured by this
                    // same request's body, not by a third one.
                    t.bWantBody = t.bBodyUnlessLength = true;
                    t.counter = t.retryCounter;
                }
                --attempt;
                continue;
            }
            if (AtoiClamped(t.contentLength.c_str()) <= 0) t.contentLength.clear();
            t.bHeadersDone = true;
            return true;
        }
        // A time-out counts as a failed connection only when no connection was made (a
        // connection kept from the last probe has no connect time of its own, but a port).
        long localPort = 0;
        Curl()->easy_getinfo(m_pSession, CURLINFO_LOCAL_PORT, &localPort);
        bool connectFailed =
            rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && localPort == 0);
        if (!connectFailed || attempt > 0) return Fail(FailureOfCode(rc));
        if (m_deadline - std::chrono::steady_clock::now() < std::chrono::seconds(1))
            return Fail(FailureOfCode(rc));  // no time left for the retry
        // One connect retry after a second's back-off; the exit cuts the wait short.
        if (m_pAbortFlag) {
            m_pAbortFlag->SleepUnlessStopped(std::chrono::seconds(1));
            if (m_pAbortFlag->IsAborted()) return Fail(ProbeFailure::Network);
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
}

bool CWatchThread::Fetch(Transfer& t) {
    m_failure = ProbeFailure::Network;  // what a request that is never made reports
    if (!m_pSession || !t.url.size()) return false;
    t.abortFlag = m_pAbortFlag.get();
    CURLU* u = Curl()->url();
    if (!u) return false;
    bool ok = false;
    // No scheme guessing: text that is not an http or https URL is not requested at all.
    if (Curl()->url_set(u, CURLUPART_URL, t.url.c_str(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) ==
            CURLUE_OK &&
        SchemeAllowed(u)) {
        for (int hop = 0; hop <= kMaxRedirects; ++hop) {
            char* next = nullptr;
            if (Curl()->url_get(u, CURLUPART_URL, &next, 0) != CURLUE_OK) break;
            t.url = next;
            Curl()->free(next);
            if (!PerformWithRetry(t)) break;
            if (!(IsRedirect(t.status) && !t.location.empty())) {
                ok = true;
                break;
            }
            if (hop == kMaxRedirects) m_failure = ProbeFailure::TooManyRedirects;
            // Relative locations resolve against the current URL.
            if (Curl()->url_set(u, CURLUPART_URL, t.location.c_str(),
                                CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK ||
                !SchemeAllowed(u))
                break;
            if (t.counter) *t.counter = PageTextCounter();
        }
    }
    Curl()->url_cleanup(u);
    if (t.bSetCookie) m_bCookiesChanged = true;
    return ok;
}

bool CWatchThread::Fail(ProbeFailure why) {
    m_failure = why;
    return false;
}

ProbeResult CWatchThread::FailureOf(const Transfer& t, bool fetched) const {
    if (fetched) return ProbeResult::Failed(ProbeFailure::HttpStatus, static_cast<int>(t.status));
    return ProbeResult::Failed(m_failure);
}

ProbeResult CWatchThread::FetchBody(const char* url, std::string* text) {
    PageTextCounter counter;
    Transfer t;
    t.url = url ? url : "";
    t.bWantBody = true;
    t.counter = &counter;
    t.text = text;
    // A body is read in large blocks; between bodies the session keeps the small default.
    Curl()->easy_setopt(m_pSession, CURLOPT_BUFFERSIZE, kBodyBufferSize);
    bool ok = Fetch(t);
    Curl()->easy_setopt(m_pSession, CURLOPT_BUFFERSIZE, static_cast<long>(CURL_MAX_WRITE_SIZE));
    CloseRequest();
    if (ok && t.status == 200) return ProbeResult::Size(counter.Size());
    return FailureOf(t, ok);
}

CWatchThread::ProbeScope::ProbeScope(CWatchThread& probe) : m_probe(probe) {
    m_bOuter = !probe.m_bInProbe;
    if (!m_bOuter) return;
    probe.m_bInProbe = true;
    probe.m_deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(probe.m_nRequestCapSeconds);
}

CWatchThread::ProbeScope::~ProbeScope() {
    if (m_bOuter) m_probe.m_bInProbe = false;
    if (m_bOuter) m_probe.TrimCookies();
}

void CWatchThread::TrimCookies() {
    if (!m_bCookiesChanged) return;  // a page that sets no cookie costs nothing here
    m_bCookiesChanged = false;
    // A page that sets new cookie names on every visit would grow the session without
    // end, and every request would carry them all: beyond the bound they all go.
    if (CookieCount() > kMaxCookies || m_nCookieBytes > kMaxCookieBytes)
        Curl()->easy_setopt(m_pSession, CURLOPT_COOKIELIST, "ALL");
}

int CWatchThread::CookieCount() {
    m_nCookieBytes = 0;
    if (!m_pSession) return 0;
    curl_slist* cookies = nullptr;
    if (Curl()->easy_getinfo(m_pSession, CURLINFO_COOKIELIST, &cookies) != CURLE_OK) return 0;
    int n = 0;
    for (curl_slist* c = cookies; c; c = c->next) {
        ++n;
        m_nCookieBytes += std::strlen(c->data);
    }
    Curl()->slist_free_all(cookies);
    return n;
}

ProbeResult CWatchThread::Probe(const char* url) {
    ProbeScope scope(*this);
    PageTextCounter counter;
    Transfer t;
    t.url = url ? url : "";
    t.retryCounter = &counter;
    const bool ok = Fetch(t);
    CloseRequest();
    if (!ok || t.status != 200) return FailureOf(t, ok);
    int size = AtoiClamped(t.contentLength.c_str());
    // A negative length is no size at all: measure the body as for a missing one.
    if (size > 0) return ProbeResult::Size(size);
    if (t.bWantBody) return ProbeResult::Size(counter.Size());  // read by the second request
    return FetchBody(url, nullptr);
}

int CWatchThread::GetPageSize(const char* url) {
    return Probe(url).nSize;
}

int CWatchThread::GetPageTextLength(const char* url) {
    ProbeScope scope(*this);
    return FetchBody(url, nullptr).nSize;
}

std::string CWatchThread::DownloadPageText(const char* url) {
    ProbeScope scope(*this);
    std::string text;
    if (!FetchBody(url, &text).Ok()) text.clear();
    return text;
}

bool CWatchThread::CloseRequest() {
    // Each request ends inside Perform; only its connection may stay, for the next probe.
    return true;
}

bool CWatchThread::CloseSession() {
    CloseRequest();
    if (m_pSession) {
        Curl()->easy_cleanup(m_pSession);
        m_pSession = nullptr;
    }
    if (m_pMulti) {
        Curl()->multi_cleanup(m_pMulti);
        m_pMulti = nullptr;
    }
    if (m_pHeaders) {
        Curl()->slist_free_all(m_pHeaders);
        m_pHeaders = nullptr;
    }
    return true;
}

}  // namespace sentrel
