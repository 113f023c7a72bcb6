#pragma once
// One probe as a series of steps that a loop drives: a watcher's own loop drives one probe
// at a time, the headless watcher's event loop many at once. Both measure alike because
// this is the only place that decides which request comes next and what the answers mean.
#include <chrono>
#include <functional>
#include <string>

#include "content/PageText.h"
#include "probe/PageTextCounter.h"
#include "probe/PageValidators.h"
#include "probe/ProbeResult.h"
#include "probe/ProbeTransfer.h"
#include "platform/PageAccess.h"
#include "probe/TextJudge.h"

namespace sentrel {

/// Options that a probe's libcurl handle keeps from one probe to the next.
struct ProbeHandleOptions {
    bool bHttp2 = false;  ///< HTTP/2 where the server offers it over TLS
};
/// Sets the probe's lasting options on a new easy handle.
void ConfigureProbeHandle(CURL* easy, curl_slist* headers, const ProbeHandleOptions& options);
/// The request's fixed headers ("Accept: */*"); the User-Agent is an option of the handle.
curl_slist* MakeProbeHeaders();

/// What a probe's driver does next.
enum class ProbeStep {
    Perform,  ///< run the handle's request, then call Performed
    Wait,     ///< wait WaitTime, then call Waited
    Read,     ///< call Read, which may take long: on any thread but the one of many pages
    Done,     ///< Result holds the answer
};

class ProbeJob {
  public:
    using Step = ProbeStep;
    enum class Kind {
        Size,  ///< the page size: Content-Length, else the body measured by a second request
        Body,  ///< the body, measured (and kept when text is given)
        Text,    ///< the body's text as SetReader's reader reads it, with its hash
        Render,  ///< the same text of the page as a browser leaves it once its scripts ran
    };

    /// `easy` is a handle set up by ConfigureProbeHandle, used by this job alone while it
    /// runs; `headers` its fixed headers.
    ProbeJob(CURL* easy, curl_slist* headers);
    ~ProbeJob();
    ProbeJob(const ProbeJob&) = delete;
    ProbeJob& operator=(const ProbeJob&) = delete;

    /// Requests in flight give up once this flag is aborted.
    void SetAbortFlag(const CRunFlag* flag) { m_pAbort = flag; }
    /// Bytes libcurl reads at a time while a body is measured.
    void SetBodyBufferSize(long bytes) { m_nBodyBuffer = bytes; }
    /// How a Kind::Text probe reads its page (the row's region and ignore rules).
    void SetReader(const content::PageReader* reader) { m_pReader = reader; }
    /// Who judges the text a Kind::Text or Kind::Render probe reads, in the same step (the
    /// row's judge; none: the text is not judged).
    void SetJudge(TextJudge* judge) { m_pJudge = judge; }
    /// The row's proxy and headers (none: the environment's proxy, the fixed headers only).
    /// Kept by the caller while the job runs.
    void SetRoute(const PageRoute* route) { m_pRoute = route; }

    /// Starts a probe; `validators` (may be null) make its first request conditional.
    Step Begin(const std::string& url, Kind kind, std::chrono::steady_clock::time_point deadline,
               const PageValidators* validators = nullptr, std::string* text = nullptr);
    /// The request asked for by Perform has ended with this libcurl result.
    Step Performed(CURLcode rc);
    /// The wait asked for has passed; `abandon` when the program is leaving.
    Step Waited(bool abandon = false);
    /// Reads the page's text that came (a rendered page's: renders it first), within the
    /// reading's bounds, and has the row's judge judge it; `stop` (may be empty) ends it
    /// early. Touches nothing but this job and its judge.
    Step Read(const std::function<bool()>& stop);
    /// Gives the handle back while the job needs none (its connect retry's back-off, the
    /// reading of its text), as the handle was given; Attach binds it to another one, which
    /// then makes the request as this one would have.
    CURL* Detach();
    void Attach(CURL* easy);
    static constexpr std::chrono::seconds WaitTime() { return std::chrono::seconds(1); }

    /// The request being performed.
    probe::Transfer& Current() { return m_t; }
    /// True when the request being performed reads a small unneeded body that is late:
    /// its driver ends it (the connection goes, the headers answer).
    bool DrainOverdue(std::chrono::steady_clock::time_point now) const {
        return m_t.bDraining && now >= m_t.drainDeadline;
    }

    const ProbeResult& Result() const { return m_result; }
    /// The validators that go with Result's size (empty ones when the server sent none).
    const PageValidators& Validators() const { return m_validators; }
    /// A response of this probe set a cookie.
    bool CookieSet() const { return m_bCookieSet; }

  private:
    enum class Phase { Headers, Body };
    Step StartFetch(const std::string& url);
    Step StartRequest();
    Step StartAttempt();
    Step RequestDone(bool ok);
    Step FetchDone(bool ok);
    Step Finish(const ProbeResult& result);
    Step NotModified();
    Step TextOf(std::string_view contentType, std::string_view body, const std::function<bool()>& stop);
    void UseHeaders(curl_slist* headers);
    curl_slist* JobHeaders() const { return m_pRowHeaders ? m_pRowHeaders : m_pBaseHeaders; }
    void MakeRowHeaders(bool withSecrets);

    CURL* m_easy;
    curl_slist* m_pBaseHeaders;
    curl_slist* m_pConditional = nullptr;
    const PageRoute* m_pRoute = nullptr;
    curl_slist* m_pRowHeaders = nullptr;  // the fixed headers with the row's own, when it has any
    std::string m_strFirstOrigin;         // where the row's secret headers may go
    ProxyTrouble m_trouble;               // the latest request's failure at its proxy
    const CRunFlag* m_pAbort = nullptr;
    long m_nBodyBuffer = 256 * 1024;
    const content::PageReader* m_pReader = nullptr;
    TextJudge* m_pJudge = nullptr;
    std::string m_raw;  // a text row's body while it comes; freed once read

    Kind m_kind = Kind::Size;
    Phase m_phase = Phase::Headers;
    std::string m_url;
    std::string* m_pText = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
    PageValidators m_sent;  // what the conditional request stood for
    bool m_bConditional = false;

    probe::Transfer m_t;
    PageTextCounter m_counter;
    PageTextCounter m_retryCounter;
    CURLU* m_pUrl = nullptr;
    int m_nHop = 0;
    int m_nAttempt = 0;
    bool m_bIgnoreLength = false;
    NetFailure m_failure = NetFailure::Network;  // why the request failed, when it did

    ProbeResult m_result;
    PageValidators m_validators;
    bool m_bCookieSet = false;
};

}  // namespace sentrel
