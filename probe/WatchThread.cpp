// A watcher: its thread and watch loop, its HTTP session and the requests of one probe.
#include "probe/WatchThread.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "base/ThreadMessages.h"
#include "platform/CurlApi.h"
#include "probe/ProbeJob.h"
#include "probe/ProbeSpacing.h"
#include "probe/ResultFilter.h"

namespace sentrel {
using namespace probe;

CWatchThread::CWatchThread() = default;

CWatchThread::CWatchThread(WatchEntry entry) : m_entry(std::move(entry)) {
    m_entry.pThread = this;
}

CWatchThread::~CWatchThread() {
    if (m_thread.joinable()) m_thread.join();
    CloseSession();
}

bool CWatchThread::CreateThread() {
    if (!m_entry.pThread || m_thread.joinable()) return false;
    try {
        m_thread = std::thread([this] {
            WatchThreadProc(&m_entry);
            std::lock_guard<std::mutex> lock(m_endMutex);
            m_bEnded = true;
            m_endCv.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CWatchThread::Join(std::chrono::milliseconds bound) {
    if (!m_thread.joinable()) return true;
    std::unique_lock<std::mutex> lock(m_endMutex);
    if (!m_endCv.wait_for(lock, bound, [this] { return m_bEnded; })) return false;
    lock.unlock();
    m_thread.join();
    return true;
}

void CWatchThread::Post(WatchMessage message) {
    if (m_hMainWnd) m_hMainWnd->Post(std::move(message));
}

bool CWatchThread::Watch(WatchEntry* pEntry) {
    m_hMainWnd = pEntry->hMainWnd;
    m_pszRunFlag = pEntry->pszRunFlag ? pEntry->pszRunFlag : std::make_shared<CRunFlag>();
    if (!m_pAbortFlag) m_pAbortFlag = m_pszRunFlag;
    const int nItem = pEntry->nItem;
    const long long nTicksPerProbe = 2LL * pEntry->nInterval;
    const std::string url = pEntry->szUrl;

    if (!OpenSession()) {
        Post({WM_WATCH_ENDED, nItem, {}, true});
        return false;
    }
    // Results go to the run's model, which alone decides what is a change or a failure.
    // The validators travel with the size they stand for: a 304 answers that size again.
    PageValidators validators = pEntry->validators;
    m_pValidators = &validators;
    m_pReader = pEntry->pReader.get();
    m_pJudge = pEntry->pJudge.get();
    m_pRoute = pEntry->pRoute.get();
    m_bRender = pEntry->bRender;
    ResultFilter filter;
    ProbeSpacing spacing;
    for (;;) {
        if (!filter.First()) {
            if (m_pszRunFlag->IsStop()) break;
            // One wait for the whole interval; "STOP" ends it at once.
            if (m_pszRunFlag->SleepUnlessStopped(spacing.Next(nTicksPerProbe * m_tick))) break;
        }
        const bool first = filter.First();
        ProbeResult result = Probe(url.c_str());
        if (pEntry->pValidators && result.Ok()) pEntry->pValidators->Put(validators);
        if (filter.Pass(result)) Post({first ? WM_PAGE_SIZE : WM_PROBE_RESULT, nItem, std::move(result)});
    }
    m_pValidators = nullptr;
    m_pReader = nullptr;
    m_pJudge = nullptr;
    m_pRoute = nullptr;
    Post({WM_WATCH_ENDED, nItem, {}});
    return true;
}

unsigned WatchThreadProc(void* pParam) {
    WatchEntry* pEntry = static_cast<WatchEntry*>(pParam);
    pEntry->pThread->Watch(pEntry);
    return 0;
}

// ---- The HTTP session and one probe

bool CWatchThread::OpenSession() {
    if (!Curl()) return false;  // no libcurl to be had: the session is refused
    CloseSession();
    CURL* h = Curl()->easy_init();
    CURLM* multi = Curl()->multi_init();
    m_pHeaders = MakeProbeHeaders();
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
    ConfigureProbeHandle(h, m_pHeaders, ProbeHandleOptions());
    m_kept.Track(h);
    m_pSession = h;
    m_pMulti = multi;
    return true;
}

int CWatchThread::Perform(ProbeJob& job) {
    m_kept.DropDirty();
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
        const probe::Transfer& t = job.Current();
        if (t.bDraining) {
            const auto now = std::chrono::steady_clock::now();
            if (job.DrainOverdue(now)) {
                // The body is late: the connection goes with it, and the headers answer.
                job.Current().bStoppedByUs = true;
                result = CURLE_WRITE_ERROR;
                break;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(t.drainDeadline - now);
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
    m_kept.Ended(m_pSession);
    return result;
}

ProbeResult CWatchThread::Run(ProbeJob& job, ProbeStep step) {
    while (step != ProbeJob::Step::Done) {
        if (step == ProbeJob::Step::Perform) {
            step = job.Performed(static_cast<CURLcode>(Perform(job)));
            continue;
        }
        if (step == ProbeJob::Step::Read) {  // this watcher's own thread reads its page
            step = job.Read({});
            continue;
        }
        // The connect retry's back-off; the exit cuts it short.
        bool abandon = false;
        if (m_pAbortFlag) {
            m_pAbortFlag->SleepUnlessStopped(ProbeJob::WaitTime());
            abandon = m_pAbortFlag->IsAborted();
        } else {
            std::this_thread::sleep_for(ProbeJob::WaitTime());
        }
        step = job.Waited(abandon);
    }
    if (job.CookieSet()) m_bCookiesChanged = true;
    return job.Result();
}

ProbeResult CWatchThread::FetchBody(const char* url, std::string* text) {
    if (!m_pSession) return ProbeResult::Failed(NetFailure::Network);
    ProbeJob job(m_pSession, m_pHeaders);
    job.SetAbortFlag(m_pAbortFlag.get());
    return Run(job, job.Begin(url ? url : "", ProbeJob::Kind::Body, m_deadline, nullptr, text));
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
    return Probe(url, m_pValidators);
}

ProbeResult CWatchThread::Probe(const char* url, PageValidators* validators) {
    ProbeScope scope(*this);
    if (!m_pSession) return ProbeResult::Failed(NetFailure::Network);
    ProbeJob job(m_pSession, m_pHeaders);
    job.SetAbortFlag(m_pAbortFlag.get());
    job.SetReader(m_pReader);
    job.SetJudge(m_pJudge);
    job.SetRoute(m_pRoute);
    const ProbeResult result =
        Run(job, job.Begin(url ? url : "",
                           m_bRender    ? ProbeJob::Kind::Render
                           : m_pReader  ? ProbeJob::Kind::Text
                                        : ProbeJob::Kind::Size,
                           m_deadline, validators));
    if (validators && result.Ok()) *validators = job.Validators();
    return result;
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
