#include "WatchThread.h"

#include "ThreadMessages.h"
#include "WorkerGroup.h"

namespace sentrel {

CWatchThread::CWatchThread() = default;

CWatchThread::CWatchThread(ThreadProc pfnThreadProc, WatchEntry* pEntry)
    : m_pfnThreadProc(pfnThreadProc), m_pParam(pEntry) {
    if (pEntry) pEntry->pThread = this;
}

CWatchThread::~CWatchThread() {
    CloseSession();
}

bool CWatchThread::CreateThread() {
    if (!m_pfnThreadProc) return false;
    return Workers().Spawn([this] {
        m_pfnThreadProc(m_pParam);
        delete this;
    });
}

void CWatchThread::Post(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (m_hMainWnd) m_hMainWnd->Post(msg, wParam, lParam);
}

bool CWatchThread::Watch(WatchEntry* pEntry) {
    m_hMainWnd = pEntry->hMainWnd;
    m_pszRunFlag = pEntry->pszRunFlag ? pEntry->pszRunFlag : std::make_shared<CRunFlag>();
    if (!m_pAbortFlag) m_pAbortFlag = m_pszRunFlag;
    const int nItem = pEntry->nItem;
    const long long nTicksPerProbe = 2LL * (pEntry->nInterval < 1 ? 1 : pEntry->nInterval);
    const std::string url = pEntry->szUrl;

    if (!OpenSession()) {
        Post(WM_WATCH_ENDED, nItem, -1);
        return false;
    }
    // Results go to the run's model, which alone decides what is a change or a failure.
    // A good result equal to the last one, after two good ones in a row, can change
    // nothing there, and is not posted: a quiet page never wakes the window.
    // The validators travel with the size they stand for: a 304 answers that size again.
    PageValidators validators = pEntry->validators;
    m_pValidators = &validators;
    auto probe = [&] {
        const ProbeResult result = Probe(url.c_str());
        if (pEntry->pValidators && result.Ok()) pEntry->pValidators->Put(validators);
        return result;
    };
    ProbeResult last = probe();
    Post(WM_PAGE_SIZE, nItem, last.Encode());
    int goodInRow = last.Ok() ? 1 : 0;
    for (;;) {
        if (m_pszRunFlag->IsStop()) break;
        // One wait for the whole interval; "STOP" ends it at once.
        if (m_pszRunFlag->SleepUnlessStopped(nTicksPerProbe * m_tick)) break;
        const ProbeResult result = probe();
        const bool quiet = result.Ok() && result == last && goodInRow >= 2;
        goodInRow = result.Ok() ? goodInRow + 1 : 0;
        if (quiet) continue;
        Post(WM_PROBE_RESULT, nItem, result.Encode());
        last = result;
    }
    m_pValidators = nullptr;
    Post(WM_WATCH_ENDED, nItem, 0);
    return true;
}

unsigned WatchThreadProc(void* pParam) {
    WatchEntry* pEntry = static_cast<WatchEntry*>(pParam);
    pEntry->pThread->Watch(pEntry);
    delete pEntry;
    return 0;
}

}  // namespace sentrel
