#include "WatchThread.h"

#include <system_error>

#include "ThreadMessages.h"

namespace sentrel {

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
    Post({WM_WATCH_ENDED, nItem, {}});
    return true;
}

unsigned WatchThreadProc(void* pParam) {
    WatchEntry* pEntry = static_cast<WatchEntry*>(pParam);
    pEntry->pThread->Watch(pEntry);
    return 0;
}

}  // namespace sentrel
