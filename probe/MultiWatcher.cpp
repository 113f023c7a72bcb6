#include "probe/MultiWatcher.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "base/ThreadMessages.h"
#include "platform/CurlApi.h"
#include "probe/ProbeJob.h"
#include "probe/ProbeSpacing.h"
#include "probe/ResultFilter.h"

namespace sentrel {

namespace {
// Bodies are measured in blocks of this size: thousands of pages share a few handles.
constexpr long kBodyBuffer = 64 * 1024;
}  // namespace

struct CMultiWatcher::Page {
    // What the loop needs of its WatchEntry: one allocation a page, with nothing the loop
    // does not use (a list of 100,000 pages holds 100,000 of them).
    struct Entry {
        int nItem = 0;
        int nInterval = 0;
        bool bRender = false;
        std::string szUrl;
        WatchTarget target;  // where its messages go
        RunFlagPtr pszRunFlag;
        ValidatorBoxPtr pValidators;  // the latest, read for each probe
        std::shared_ptr<const content::PageReader> pReader;
        std::shared_ptr<TextJudge> pJudge;
        std::shared_ptr<const PageRoute> pRoute;
    } entry;
    std::unique_ptr<ProbeJob> job;
    CURL* easy = nullptr;
    ResultFilter filter;
    ProbeSpacing spacing;
    bool bWaiting = false;  // in the connect retry's back-off
    bool bReading = false;  // its text is read on a reader's thread, which owns its job
    bool bEnded = false;
};

// Pages whose text is read off the loop: a few threads take them in turn and hand them
// back, waking the loop's wait.
class CMultiWatcher::Readers {
  public:
    explicit Readers(CURLM* multi) : m_pMulti(multi) {
        for (int i = 0; i < kThreads; ++i) m_threads.emplace_back([this] { Run(); });
    }
    ~Readers() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bEnding = true;
        }
        m_cv.notify_all();
        for (std::thread& t : m_threads) t.join();
    }
    void Add(Page* page) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_todo.push_back(page);
        }
        m_cv.notify_one();
    }
    /// Pages read since the last call, back to the loop.
    std::vector<Page*> TakeDone() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_done, {});
    }

  private:
    // Texts are read with the processor alone: more threads than this would only queue.
    static constexpr int kThreads = 2;
    void Run() {
        const std::function<bool()> stop = [this] { return m_bEnding.load(); };
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_bEnding || !m_todo.empty(); });
            if (m_bEnding) return;
            Page* page = m_todo.front();
            m_todo.pop_front();
            lock.unlock();
            page->job->Read(stop);
            lock.lock();
            m_done.push_back(page);
            Curl()->multi_wakeup(m_pMulti);
        }
    }

    CURLM* m_pMulti;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Page*> m_todo;
    std::vector<Page*> m_done;
    std::atomic<bool> m_bEnding{false};
    std::vector<std::thread> m_threads;
};

CMultiWatcher::CMultiWatcher(const Options& options) : m_options(options) {}

CMultiWatcher::~CMultiWatcher() {
    EndAll();
    for (CURL* h : m_handles) Curl()->easy_cleanup(h);
    if (m_pMulti) Curl()->multi_cleanup(m_pMulti);
    if (m_pHeaders) Curl()->slist_free_all(m_pHeaders);
}

bool CMultiWatcher::Open() {
    if (m_pMulti) return true;
    if (!Curl()) return false;
    m_pMulti = Curl()->multi_init();
    m_pHeaders = MakeProbeHeaders();
    if (!m_pMulti || !m_pHeaders) return false;
    Curl()->multi_setopt(m_pMulti, CURLMOPT_MAX_HOST_CONNECTIONS,
                         static_cast<long>(m_options.nMaxPerHost));
    Curl()->multi_setopt(m_pMulti, CURLMOPT_MAXCONNECTS,
                         static_cast<long>(2 * m_options.nMaxTransfers));
    return true;
}

bool CMultiWatcher::Add(WatchEntry entry) {
    if (!Open()) return false;
    auto page = std::make_unique<Page>();
    if (!entry.pValidators)
        entry.pValidators = std::make_shared<ValidatorBox>(std::move(entry.validators));
    page->entry = {entry.nItem,
                   entry.nInterval,
                   entry.bRender,
                   std::move(entry.szUrl),
                   std::move(entry.hMainWnd),
                   std::move(entry.pszRunFlag),
                   std::move(entry.pValidators),
                   std::move(entry.pReader),
                   std::move(entry.pJudge),
                   std::move(entry.pRoute)};
    m_ready.push(page.get());
    m_pages.push_back(std::move(page));
    ++m_nLive;
    return true;
}

CURL* CMultiWatcher::TakeHandle() {
    if (!m_idle.empty()) {
        CURL* h = m_idle.back();
        m_idle.pop_back();
        return h;
    }
    CURL* h = Curl()->easy_init();
    if (!h) return nullptr;
    ProbeHandleOptions options;
    options.bHttp2 = true;
    ConfigureProbeHandle(h, m_pHeaders, options);
    m_kept.Track(h);
    m_handles.push_back(h);
    return h;
}

void CMultiWatcher::GiveBack(Page& page) {
    ReleaseHandle(page);
    if (page.job) --m_nUnderWay;
    page.job.reset();
}

void CMultiWatcher::ReleaseHandle(Page& page) {
    if (!page.easy) return;
    // The handle's own headers and buffer again, and no cookie of this probe: the handle
    // serves other pages next.
    const bool cookies = page.job && page.job->CookieSet();
    if (page.job) page.job->Detach();
    if (cookies) Curl()->easy_setopt(page.easy, CURLOPT_COOKIELIST, "ALL");
    // As many handles as requests run at once are kept: each holds buffers, and a burst
    // (pages in their back-off, texts in their reading) hands back more than that.
    if (static_cast<int>(m_idle.size()) < m_options.nMaxTransfers) {
        m_idle.push_back(page.easy);
    } else {
        m_kept.Untrack(page.easy);
        m_handles.erase(std::find(m_handles.begin(), m_handles.end(), page.easy));
        Curl()->easy_cleanup(page.easy);
    }
    page.easy = nullptr;
}

void CMultiWatcher::StartDue() {
    const auto now = Clock::now();
    while (!m_due.empty() && m_due.top().when <= now) {
        Page* page = m_due.top().page;
        m_due.pop();
        if (page->bEnded) continue;
        if (page->bWaiting && page->easy) {  // the back-off is over; it kept its handle
            page->bWaiting = false;
            Advance(*page, page->job->Waited(page->entry.pszRunFlag->IsAborted()));
        } else if (page->bWaiting) {
            m_resume.push(page);  // a retry, which takes a handle again
        } else {
            m_ready.push(page);
        }
    }
    // Before any request can take a kept connection.
    if (!m_ready.empty() || !m_resume.empty()) m_kept.DropDirty();
    // Probes under way first; a new one only while few enough are under way (each holds
    // its job, also through a back-off), so that a list of unreachable pages costs a
    // bounded memory, not a probe's for every page at once.
    while (static_cast<int>(m_running.size()) < m_options.nMaxTransfers) {
        Page* page = nullptr;
        if (!m_resume.empty()) {
            page = m_resume.front();
            m_resume.pop();
        } else if (!m_ready.empty() && m_nUnderWay < kMaxUnderWay) {
            page = m_ready.front();
            m_ready.pop();
        } else {
            break;
        }
        if (!page->bEnded) StartProbe(*page);
    }
}

void CMultiWatcher::StartProbe(Page& page) {
    if (page.entry.pszRunFlag && page.entry.pszRunFlag->IsStop()) {
        End(page);
        return;
    }
    page.easy = TakeHandle();
    if (!page.easy) {  // no handle to be had now: the page waits its turn again
        m_due.push({Clock::now() + m_options.second, &page});
        return;
    }
    if (page.bWaiting) {  // its connect retry, on the handle it is given now
        page.bWaiting = false;
        page.job->Attach(page.easy);
        Advance(page, page.job->Waited(page.entry.pszRunFlag->IsAborted()));
        return;
    }
    page.job = std::make_unique<ProbeJob>(page.easy, m_pHeaders);
    ++m_nUnderWay;
    page.job->SetAbortFlag(page.entry.pszRunFlag.get());
    page.job->SetBodyBufferSize(kBodyBuffer);
    const auto deadline = Clock::now() + std::chrono::seconds(m_options.nRequestCapSeconds);
    page.job->SetReader(page.entry.pReader.get());
    page.job->SetJudge(page.entry.pJudge.get());
    page.job->SetRoute(page.entry.pRoute.get());
    const ProbeJob::Kind kind = page.entry.bRender  ? ProbeJob::Kind::Render
                                : page.entry.pReader ? ProbeJob::Kind::Text
                                                     : ProbeJob::Kind::Size;
    const PageValidators sent = page.entry.pValidators->Get();
    Advance(page, page.job->Begin(page.entry.szUrl, kind, deadline, &sent));
}

void CMultiWatcher::Advance(Page& page, ProbeStep step) {
    switch (step) {
        case ProbeStep::Perform:
            Curl()->easy_setopt(page.easy, CURLOPT_PRIVATE, static_cast<void*>(&page));
            if (Curl()->multi_add_handle(m_pMulti, page.easy) != CURLM_OK) {
                Advance(page, page.job->Performed(CURLE_FAILED_INIT));
                return;
            }
            m_running.insert(&page);
            return;
        case ProbeStep::Wait:
            page.bWaiting = true;
            // A second without a request needs no handle (one that holds this probe's
            // cookies is kept for it).
            if (!page.job->CookieSet()) ReleaseHandle(page);
            m_due.push({Clock::now() + ProbeJob::WaitTime(), &page});
            return;
        case ProbeStep::Read: {
            ReleaseHandle(page);  // a text is read, or a browser renders: no request
            // A page a browser renders waits on the browser, not on the processor: such
            // pages have readers of their own, so that they never hold a text's reading.
            std::unique_ptr<Readers>& readers = page.entry.bRender ? m_renderers : m_readers;
            if (!readers) readers = std::make_unique<Readers>(m_pMulti);
            page.bReading = true;
            readers->Add(&page);
            return;
        }
        case ProbeStep::Done:
            Finish(page);
            return;
    }
}

void CMultiWatcher::Remove(Page& page) {
    Curl()->multi_remove_handle(m_pMulti, page.easy);
    m_running.erase(&page);
    m_kept.Ended(page.easy);
}

void CMultiWatcher::Drive() {
    int running = 0;
    Curl()->multi_perform(m_pMulti, &running);
    int queued = 0;
    while (CURLMsg* m = Curl()->multi_info_read(m_pMulti, &queued)) {
        if (m->msg != CURLMSG_DONE) continue;
        CURL* easy = m->easy_handle;
        const CURLcode rc = m->data.result;
        void* data = nullptr;
        Curl()->easy_getinfo(easy, CURLINFO_PRIVATE, &data);
        Page& page = *static_cast<Page*>(data);
        Remove(page);
        Advance(page, page.job->Performed(rc));
    }
    // A small unneeded body that is late: the connection goes, the headers answer.
    const auto now = Clock::now();
    std::vector<Page*> overdue;
    for (Page* page : m_running)
        if (page->job->DrainOverdue(now)) overdue.push_back(page);
    for (Page* page : overdue) {
        Remove(*page);
        page->job->Current().bStoppedByUs = true;
        Advance(*page, page->job->Performed(CURLE_WRITE_ERROR));
    }
}

int CMultiWatcher::WaitMs(std::chrono::milliseconds maxWait) const {
    auto wait = maxWait;
    const auto now = Clock::now();
    auto until = [&](Clock::time_point t) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - now);
        if (left < wait)
            wait = std::max(left, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1);
    };
    if (!m_due.empty()) until(m_due.top().when);
    const bool startable = !m_resume.empty() || (!m_ready.empty() && m_nUnderWay < kMaxUnderWay);
    if (startable && static_cast<int>(m_running.size()) < m_options.nMaxTransfers)
        wait = std::chrono::milliseconds(0);
    for (Page* page : m_running)
        if (page->job->Current().bDraining) until(page->job->Current().drainDeadline);
    return static_cast<int>(wait.count());
}

void CMultiWatcher::Turn(std::chrono::milliseconds maxWait) {
    if (!m_pMulti) return;
    StartDue();
    Drive();
    curl_waitfd wake{};
    unsigned extra = 0;
    if (m_nWakeFd >= 0) {
        wake.fd = m_nWakeFd;
        wake.events = CURL_WAIT_POLLIN;
        extra = 1;
    }
    Curl()->multi_poll(m_pMulti, extra ? &wake : nullptr, extra, WaitMs(maxWait), nullptr);
    Drive();
    TakeRead();
    StartDue();
}

void CMultiWatcher::TakeRead() {
    for (Readers* readers : {m_readers.get(), m_renderers.get()}) {
        if (!readers) continue;
        for (Page* page : readers->TakeDone()) {
            page->bReading = false;
            Advance(*page, ProbeStep::Done);
        }
    }
}

void CMultiWatcher::Finish(Page& page) {
    const ProbeResult result = page.job->Result();
    if (result.Ok()) page.entry.pValidators->Put(page.job->Validators());
    GiveBack(page);
    const Page::Entry& entry = page.entry;
    const bool first = page.filter.First();
    if (page.filter.Pass(result) && entry.target)
        entry.target->Post({first ? WM_PAGE_SIZE : WM_PROBE_RESULT, entry.nItem, result});
    if (m_options.bOnce || (entry.pszRunFlag && entry.pszRunFlag->IsStop())) {
        End(page);
        return;
    }
    m_due.push({Clock::now() + page.spacing.Next(entry.nInterval * m_options.second), &page});
}

void CMultiWatcher::End(Page& page) {
    if (page.bEnded || page.bReading) return;  // a page being read ends once it is back
    if (m_running.count(&page)) Remove(page);
    GiveBack(page);
    page.bEnded = true;
    --m_nLive;
    if (page.entry.target) page.entry.target->Post({WM_WATCH_ENDED, page.entry.nItem, {}});
}

void CMultiWatcher::EndAll() {
    // Readings under way stop at once; their pages are then the loop's again.
    m_readers.reset();
    m_renderers.reset();
    for (auto& page : m_pages) page->bReading = false;
    for (auto& page : m_pages) End(*page);
    m_pages.clear();
    m_due = {};
    m_ready = {};
    m_resume = {};
}

}  // namespace sentrel
