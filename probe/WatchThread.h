#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TextRules.h"
#include "probe/KeptConnections.h"
#include "probe/PageValidators.h"
#include "probe/ProbeDeclarations.h"
#include "probe/ProbeResult.h"
#include "probe/RunFlag.h"
#include "probe/WatchEntry.h"

namespace sentrel {

/// Thread procedure of a watcher: runs Watch on the record's thread object.
unsigned WatchThreadProc(void* pParam);

/// One watcher: its own HTTP session (a libcurl easy handle in a multi handle of its own,
/// which keep connections, cookies and TLS sessions between probes) and the watch loop.
class CWatchThread {
  public:
    /// A probe-only object (no thread), as the diagnostic command uses it.
    CWatchThread();
    /// A watcher of this entry, which it keeps (and points back to this object).
    explicit CWatchThread(WatchEntry entry);
    /// A thread still running is never left behind: Join first (it ends on its flag).
    virtual ~CWatchThread();
    CWatchThread(const CWatchThread&) = delete;
    CWatchThread& operator=(const CWatchThread&) = delete;

    /// Starts the thread, which runs the watch loop on the entry; false when none can be made.
    bool CreateThread();
    /// Waits for the thread's end at most `bound`; true when it ended and was joined.
    bool Join(std::chrono::milliseconds bound);

    /// Opens the HTTP session with the probe's options; false when it cannot be made.
    virtual bool OpenSession();
    /// Page size in bytes: Content-Length of a 200 response, else the length of the
    /// downloaded text; or why there is none. Requires an open session.
    /// Inside the watch loop the probe is conditional on the page's validators.
    virtual ProbeResult Probe(const char* url);
    /// The same probe, conditional when `validators` are usable; they are replaced by the
    /// new response's after a good probe.
    ProbeResult Probe(const char* url, PageValidators* validators);
    /// The size Probe finds, 0 on any failure (the diagnostic command's form).
    int GetPageSize(const char* url);
    /// Length of the text DownloadPageText would return, counted as it streams.
    int GetPageTextLength(const char* url);
    /// The page body with every line end written as CR LF; empty on any failure.
    std::string DownloadPageText(const char* url);
    bool CloseRequest();
    bool CloseSession();

    /// The watch loop; true after a normal end, false when the session was refused.
    bool Watch(WatchEntry* pEntry);

    /// Requests in flight give up once this flag is aborted (program exit).
    void SetAbortFlag(RunFlagPtr flag) { m_pAbortFlag = std::move(flag); }
    /// Half a second of the interval: a watcher sleeps 2 x interval of these between
    /// probes, in one wait that "STOP" ends at once; tests shorten it.
    void SetTickLength(std::chrono::milliseconds tick) { m_tick = tick; }

    /// Probes read the page's text with this reader (a text row's), or measure its size (null).
    void SetReader(const content::PageReader* reader) { m_pReader = reader; }
    /// Probes of a text row have a browser render the page first.
    void SetRender(bool render) { m_bRender = render; }
    /// A text row's texts are judged by this judge as they are read (none: not judged).
    void SetJudge(TextJudge* judge) { m_pJudge = judge; }
    /// The row's proxy and headers, for the probes that follow (see ProbeJob::SetRoute).
    void SetRoute(const PageRoute* route) { m_pRoute = route; }

    /// Longest time one probe may take (see kProbeCapSeconds).
    static constexpr long kRequestCapSeconds = kProbeCapSeconds;
    /// Cookies a session keeps at most (count, bytes); beyond, they are all dropped.
    static constexpr int kMaxCookies = 100;
    static constexpr std::size_t kMaxCookieBytes = 64 * 1024;
    /// Cookies the session holds now.
    int CookieCount();
    /// Tests shorten the cap; it applies to sessions opened afterwards.
    void SetRequestCap(long seconds) { m_nRequestCapSeconds = seconds; }

  protected:
    CURL* m_pSession = nullptr;
    CURLM* m_pMulti = nullptr;
    WatchTarget m_hMainWnd;
    RunFlagPtr m_pszRunFlag;

  private:
    /// Marks one probe: its deadline, and the cookie trim after it.
    class ProbeScope {
      public:
        explicit ProbeScope(CWatchThread& probe);
        ~ProbeScope();

      private:
        CWatchThread& m_probe;
        bool m_bOuter = false;
    };
    void TrimCookies();
    /// Drives a job from `step` to its end on this session.
    ProbeResult Run(ProbeJob& job, ProbeStep step);
    /// Downloads and measures the body (also into `text` when given).
    ProbeResult FetchBody(const char* url, std::string* text);
    /// One request of the job on the session; the libcurl result of the transfer.
    int Perform(ProbeJob& job);
    void Post(WatchMessage message);

    WatchEntry m_entry;
    std::thread m_thread;
    std::mutex m_endMutex;
    std::condition_variable m_endCv;
    bool m_bEnded = false;
    RunFlagPtr m_pAbortFlag;
    std::chrono::milliseconds m_tick{500};
    long m_nRequestCapSeconds = kRequestCapSeconds;
    curl_slist* m_pHeaders = nullptr;
    bool m_bInProbe = false;
    std::chrono::steady_clock::time_point m_deadline{};
    std::size_t m_nCookieBytes = 0;
    bool m_bCookiesChanged = false;
    PageValidators* m_pValidators = nullptr;  // the watched page's, while Watch runs
    const content::PageReader* m_pReader = nullptr;
    TextJudge* m_pJudge = nullptr;
    const PageRoute* m_pRoute = nullptr;
    bool m_bRender = false;
    KeptConnections m_kept;                   // the session's connections
};

}  // namespace sentrel
