#include "probe/ProbeJob.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "platform/CurlApi.h"
#include "platform/CurlRules.h"
#include "platform/TextRules.h"

namespace sentrel {
using namespace probe;

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

}  // namespace

curl_slist* MakeProbeHeaders() {
    return Curl()->slist_append(nullptr, "Accept: */*");
}

void ConfigureProbeHandle(CURL* h, curl_slist* headers, const ProbeHandleOptions& options) {
    Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    // "No more than 5 s without data": below one byte a second for five seconds.
    Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 5L);
    Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    Curl()->easy_setopt(
        h, CURLOPT_HTTP_VERSION,
        static_cast<long>(options.bHttp2 ? CURL_HTTP_VERSION_2TLS : CURL_HTTP_VERSION_1_1));
    Curl()->easy_setopt(h, CURLOPT_HTTPGET, 1L);
    Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    Curl()->easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    Curl()->easy_setopt(h, CURLOPT_COOKIEFILE, "");  // cookies live as long as the handle
    // Redirects are followed by the job, one request per hop, so that no redirect body is read.
    Curl()->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    UseTrustStore(h, false);  // a name mismatch is accepted
    Curl()->easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    Curl()->easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    Curl()->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
}

ProbeJob::ProbeJob(CURL* easy, curl_slist* headers) : m_easy(easy), m_pBaseHeaders(headers) {}

ProbeJob::~ProbeJob() {
    if (m_pUrl) Curl()->url_cleanup(m_pUrl);
    Detach();
    if (m_pConditional) Curl()->slist_free_all(m_pConditional);
    if (m_pRowHeaders) Curl()->slist_free_all(m_pRowHeaders);
}

void ProbeJob::MakeRowHeaders(bool withSecrets) {
    if (m_pRowHeaders) Curl()->slist_free_all(m_pRowHeaders);
    m_pRowHeaders = nullptr;
    if (!m_pRoute || m_pRoute->headers.empty()) return;
    HeaderList fixed;
    for (curl_slist* h = m_pBaseHeaders; h; h = h->next) {
        const std::string line = h->data, name = HeaderName(line);
        fixed.emplace_back(name, TrimBlanks(line.substr(name.size() + 1)));
    }
    curl_slist* list = nullptr;
    for (const auto& [name, value] : WithRowHeaders(std::move(fixed), m_pRoute->headers, withSecrets)) {
        // "Name:" alone would make libcurl drop its own header of that name; "Name;" sends it empty.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        list = Curl()->slist_append(list, line.c_str());
    }
    m_pRowHeaders = list;
}

CURL* ProbeJob::Detach() {
    CURL* easy = std::exchange(m_easy, nullptr);
    if (!easy) return nullptr;
    // The handle as it came: its fixed headers, libcurl's buffer.
    Curl()->easy_setopt(easy, CURLOPT_HTTPHEADER, m_pBaseHeaders);
    if (m_phase == Phase::Body)
        Curl()->easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(CURL_MAX_WRITE_SIZE));
    return easy;
}

void ProbeJob::Attach(CURL* easy) {
    m_easy = easy;
    Curl()->easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_pConditional ? m_pConditional : JobHeaders());
    if (m_phase == Phase::Body) Curl()->easy_setopt(m_easy, CURLOPT_BUFFERSIZE, m_nBodyBuffer);
    Curl()->easy_setopt(m_easy, CURLOPT_URL, m_t.url.c_str());
    Curl()->easy_setopt(m_easy, CURLOPT_HEADERDATA, &m_t);
    Curl()->easy_setopt(m_easy, CURLOPT_WRITEDATA, &m_t);
    Curl()->easy_setopt(m_easy, CURLOPT_XFERINFODATA, &m_t);
}

void ProbeJob::UseHeaders(curl_slist* conditional) {
    // The handle goes back to its fixed headers whenever a conditional list is dropped.
    Curl()->easy_setopt(m_easy, CURLOPT_HTTPHEADER, conditional ? conditional : JobHeaders());
    if (m_pConditional) Curl()->slist_free_all(m_pConditional);
    m_pConditional = conditional;
}

ProbeJob::Step ProbeJob::Begin(const std::string& url, Kind kind,
                               std::chrono::steady_clock::time_point deadline,
                               const PageValidators* validators, std::string* text) {
    m_kind = kind;
    m_url = url;
    m_pText = text;
    m_deadline = deadline;
    m_counter = PageTextCounter();
    m_t = Transfer();
    m_t.url = url;
    MakeRowHeaders(true);
    if (m_pRowHeaders) Curl()->easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_pRowHeaders);
    if (kind == Kind::Render) {
        // The browser fetches it; only an http or https URL is handed over.
        m_pUrl = Curl()->url();
        const bool web = m_pUrl &&
                         Curl()->url_set(m_pUrl, CURLUPART_URL, url.c_str(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) ==
                             CURLUE_OK &&
                         IsWebUrl(m_pUrl);
        if (!web) return Finish(ProbeResult::Failed(NetFailure::Network));
        return Step::Read;
    }
    m_bConditional = kind != Kind::Body && validators && validators->Usable();
    if (kind == Kind::Size) {
        m_phase = Phase::Headers;
        m_t.retryCounter = &m_counter;
    } else {
        m_phase = Phase::Body;
        m_t.bWantBody = true;
        m_t.counter = &m_counter;
        m_t.text = text;
        if (kind == Kind::Text) m_t.raw = &m_raw;
        Curl()->easy_setopt(m_easy, CURLOPT_BUFFERSIZE, m_nBodyBuffer);
    }
    if (m_bConditional) {
        // Without validators the request goes out exactly as ever; with them, the server
        // may answer 304 and spare the page.
        m_sent = *validators;
        curl_slist* list = nullptr;
        for (curl_slist* h = JobHeaders(); h; h = h->next)
            list = Curl()->slist_append(list, h->data);
        if (!m_sent.etag.empty())
            list = Curl()->slist_append(list, ("If-None-Match: " + m_sent.etag).c_str());
        if (!m_sent.lastModified.empty())
            list =
                Curl()->slist_append(list, ("If-Modified-Since: " + m_sent.lastModified).c_str());
        if (list)
            UseHeaders(list);
        else
            m_bConditional = false;
    }
    return StartFetch(url);
}

ProbeJob::Step ProbeJob::StartFetch(const std::string& url) {
    m_failure = NetFailure::Network;  // what a request that is never made reports
    m_t.abortFlag = m_pAbort;
    if (url.empty()) return FetchDone(false);
    m_pUrl = Curl()->url();
    if (!m_pUrl) return FetchDone(false);
    // No scheme guessing: text that is not an http or https URL is not requested at all.
    if (Curl()->url_set(m_pUrl, CURLUPART_URL, url.c_str(), CURLU_ALLOW_SPACE | CURLU_URLENCODE) !=
            CURLUE_OK ||
        !IsWebUrl(m_pUrl))
        return FetchDone(false);
    m_nHop = 0;
    m_strFirstOrigin = OriginOf(m_pUrl);
    return StartRequest();
}

ProbeJob::Step ProbeJob::StartRequest() {
    char* next = nullptr;
    if (Curl()->url_get(m_pUrl, CURLUPART_URL, &next, 0) != CURLUE_OK) return FetchDone(false);
    m_t.url = next;
    Curl()->free(next);
    Curl()->easy_setopt(m_easy, CURLOPT_URL, m_t.url.c_str());
    Curl()->easy_setopt(m_easy, CURLOPT_HEADERDATA, &m_t);
    Curl()->easy_setopt(m_easy, CURLOPT_WRITEDATA, &m_t);
    Curl()->easy_setopt(m_easy, CURLOPT_XFERINFODATA, &m_t);
    // Only a body that is read needs libcurl to ignore Content-Length (it is read with the
    // atoi rule here, and to the close when malformed). Headers-only requests let libcurl
    // use the length, so that a small body can be read and the connection kept.
    m_bIgnoreLength = m_t.bWantBody;
    m_nAttempt = 0;
    return StartAttempt();
}

ProbeJob::Step ProbeJob::StartAttempt() {
    m_t.ResetResponse();
    m_trouble = ProxyTrouble();
    UseProxy(m_easy, m_pRoute ? m_pRoute->proxy : ProxyChoice());
    // One cap for the whole probe: hops, the retry and a second request share it.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        m_failure = NetFailure::Timeout;
        return RequestDone(false);
    }
    Curl()->easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    Curl()->easy_setopt(m_easy, CURLOPT_IGNORE_CONTENT_LENGTH, m_bIgnoreLength ? 1L : 0L);
    return Step::Perform;
}

ProbeJob::Step ProbeJob::Performed(CURLcode rc) {
    Transfer& t = m_t;
    m_trouble = ProxyTroubleOf(m_easy, rc, t.status, m_pRoute && m_pRoute->proxy.kind == ProxyChoice::Url);
    if (m_trouble.nStatus) return RequestDone(false);
    if (rc == CURLE_OK) {
        if (t.bHeadersDone) return RequestDone(true);
        m_failure = NetFailure::Network;
        return RequestDone(false);
    }
    if (rc == CURLE_WRITE_ERROR && t.bStoppedByUs) return RequestDone(true);
    // A body without a length ends where the server closes. Schannel calls a TLS close
    // without its close_notify an error, OpenSSL's libcurl does not: the page is what
    // came, on both systems.
    if (rc == CURLE_RECV_ERROR && t.bWantBody && t.bHeadersDone && t.status == 200 && !t.bLimited &&
        !t.bChunked)
        return RequestDone(true);
    // Headers were all this request needed: what became of an unneeded body is no matter.
    if (!t.bWantBody && t.bHeadersDone) return RequestDone(true);
    if (rc == CURLE_WEIRD_SERVER_REPLY && !t.bWantBody && t.status != 0 && !m_bIgnoreLength) {
        // libcurl refused a malformed Content-Length, and newer versions do so before
        // the header reaches us. Asked again without the length check, the header is
        // read here: the atoi rule takes a leading number ("123abc" is 123), and a
        // redirect gives its Location.
        if (t.contentLength.empty() || IsRedirect(t.status)) {
            m_bIgnoreLength = true;
            if (t.status == 200 && t.retryCounter) {
                // Asked again anyway: a length of no number is then measured by this
                // same request's body, not by a third one.
                t.bWantBody = t.bBodyUnlessLength = true;
                t.counter = t.retryCounter;
            }
            return StartAttempt();  // not a retry of its own
        }
        if (AtoiClamped(t.contentLength.c_str()) <= 0) t.contentLength.clear();
        t.bHeadersDone = true;
        return RequestDone(true);
    }
    // A time-out counts as a failed connection only when no connection was made (a
    // connection kept from the last probe has no connect time of its own, but a port).
    long localPort = 0;
    Curl()->easy_getinfo(m_easy, CURLINFO_LOCAL_PORT, &localPort);
    const bool connectFailed =
        rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && localPort == 0);
    m_failure = NetFailureOf(rc);
    if (!connectFailed || m_nAttempt > 0) return RequestDone(false);
    if (m_deadline - std::chrono::steady_clock::now() < WaitTime())
        return RequestDone(false);  // no time left for the retry
    return Step::Wait;              // one connect retry after a second's back-off
}

ProbeJob::Step ProbeJob::Waited(bool abandon) {
    if (abandon) {
        m_failure = NetFailure::Cancelled;
        return RequestDone(false);
    }
    ++m_nAttempt;
    return StartAttempt();
}

ProbeJob::Step ProbeJob::RequestDone(bool ok) {
    if (!ok) return FetchDone(false);
    if (!(IsRedirect(m_t.status) && !m_t.location.empty())) return FetchDone(true);
    if (m_nHop == kMaxRedirects) {
        m_failure = NetFailure::TooManyRedirects;
        return FetchDone(false);
    }
    // Relative locations resolve against the current URL.
    if (Curl()->url_set(m_pUrl, CURLUPART_URL, m_t.location.c_str(),
                        CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK ||
        !IsWebUrl(m_pUrl))
        return FetchDone(false);
    if (m_t.counter) *m_t.counter = PageTextCounter();
    // Validators belong to the URL that gave them: never sent on to where a redirect points.
    if (m_bConditional) {
        UseHeaders(nullptr);
        m_bConditional = false;
    }
    if (m_pRowHeaders && OriginOf(m_pUrl) != m_strFirstOrigin) {
        MakeRowHeaders(false);
        Curl()->easy_setopt(m_easy, CURLOPT_HTTPHEADER, JobHeaders());
    }
    ++m_nHop;
    return StartRequest();
}

ProbeJob::Step ProbeJob::FetchDone(bool ok) {
    if (m_pUrl) {
        Curl()->url_cleanup(m_pUrl);
        m_pUrl = nullptr;
    }
    if (m_t.bSetCookie) m_bCookieSet = true;
    const Transfer& t = m_t;
    auto failure = [&] {
        if (m_trouble.Any()) return ProbeResult::ProxyFailed(m_trouble.net, static_cast<int>(m_trouble.nStatus));
        // A bot check says so in a header of its own, whatever the row reads of the page.
        if (ok && t.bChallenge && (t.status == 403 || t.status == 429 || t.status == 503))
            return ProbeResult::Failed(ProbeFailure::Blocked);
        return ok ? ProbeResult::Failed(ProbeFailure::HttpStatus, static_cast<int>(t.status))
                  : ProbeResult::Failed(m_failure);
    };
    auto measured = [&](int size) {
        // Only the row's own URL's validators are kept: those of a page a redirect led to
        // would next be sent to the first one.
        m_validators = m_nHop == 0 ? PageValidators{size, t.etag, t.lastModified}
                                   : PageValidators{size, {}, {}};
        return Finish(ProbeResult::Size(size));
    };
    if (m_phase == Phase::Body) {
        Curl()->easy_setopt(m_easy, CURLOPT_BUFFERSIZE, static_cast<long>(CURL_MAX_WRITE_SIZE));
        m_phase = Phase::Headers;  // nothing left to restore
        UseHeaders(nullptr);
        if (m_kind == Kind::Text) {
            if (t.bTooLarge) return Finish(ProbeResult::Failed(ProbeFailure::TooLarge));
            if (ok && t.status == 304 && m_bConditional) return NotModified();
            if (ok && t.status == 200) return Step::Read;
            return Finish(failure());
        }
        if (ok && t.status == 200) return measured(m_counter.Size());
        return Finish(failure());
    }
    UseHeaders(nullptr);
    if (ok && t.status == 304 && m_bConditional) return NotModified();
    if (!ok || t.status != 200) return Finish(failure());
    const int size = AtoiClamped(t.contentLength.c_str());
    // A negative length is no size at all: measure the body as for a missing one.
    if (size > 0) return measured(size);
    if (t.bWantBody) return measured(m_counter.Size());  // read by the request's retry
    // The page is fetched again by a request of its own and measured by its body.
    m_phase = Phase::Body;
    m_counter = PageTextCounter();
    m_t = Transfer();
    m_t.url = m_url;
    m_t.bWantBody = true;
    m_t.counter = &m_counter;
    m_t.text = m_pText;
    Curl()->easy_setopt(m_easy, CURLOPT_BUFFERSIZE, m_nBodyBuffer);
    return StartFetch(m_url);
}

ProbeJob::Step ProbeJob::NotModified() {
    // The size (and text) the validators stood for, and any newer validators.
    m_validators = m_sent;
    if (!m_t.etag.empty()) m_validators.etag = m_t.etag;
    if (!m_t.lastModified.empty()) m_validators.lastModified = m_t.lastModified;
    return Finish(m_kind == Kind::Text ? ProbeResult::Text(m_sent.nSize, m_sent.nHash)
                                       : ProbeResult::Size(m_sent.nSize));
}

ProbeJob::Step ProbeJob::Finish(const ProbeResult& result) {
    m_result = result;
    return Step::Done;
}

}  // namespace sentrel
