#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <queue>
#include <set>
#include <vector>

#include "probe/KeptConnections.h"
#include "probe/PageValidators.h"
#include "probe/ProbeDeclarations.h"
#include "probe/WatchEntry.h"

namespace sentrel {

/// Watches any number of pages from one thread: every page's probes are ProbeJobs on one
/// libcurl multi handle, which keeps connections (HTTP/2 where the server offers it) and
/// runs a bounded number of requests at once. Each page posts exactly the messages a
/// CWatchThread posts, to its entry's target, on the loop's own thread, so the run's model
/// cannot tell them apart. A text row's page is read (and judged) on one of a few threads
/// of its own, so that no page's reading holds the loop, another page's probes or the
/// program's end.
class CMultiWatcher {
  public:
    struct Options {
        int nMaxTransfers = 64;                  ///< requests in flight at once
        int nMaxPerHost = 8;                     ///< connections to one server at once
        bool bOnce = false;                      ///< one probe per page, then the page's end
        std::chrono::milliseconds second{1000};  ///< the interval's unit; tests shorten it
        long nRequestCapSeconds = kProbeCapSeconds;
    };
    explicit CMultiWatcher(const Options& options);
    ~CMultiWatcher();
    CMultiWatcher(const CMultiWatcher&) = delete;
    CMultiWatcher& operator=(const CMultiWatcher&) = delete;

    /// Makes the multi handle; false when libcurl cannot be had.
    bool Open();
    /// A watcher starter for WatchSession: the page is probed from the next Turn on.
    bool Add(WatchEntry entry);
    /// One turn of the loop: starts the probes that are due, waits up to `maxWait` for
    /// the network (or for `wakeFd`, when set, to become readable) and moves transfers on.
    void Turn(std::chrono::milliseconds maxWait);
    /// A descriptor whose input ends a Turn's wait (a signal handler's pipe).
    void SetWakeFd(int fd) { m_nWakeFd = fd; }
    /// Ends every page at once: requests in flight are dropped, and each page tells its end.
    void EndAll();

    /// Pages that have not posted their end.
    int LivePages() const { return m_nLive; }
    int InFlight() const { return static_cast<int>(m_running.size()); }
    /// libcurl handles made and not yet cleaned up.
    std::size_t Handles() const { return m_handles.size(); }

  private:
    struct Page;
    class Readers;
    using Clock = std::chrono::steady_clock;
    struct Due {
        Clock::time_point when;
        Page* page;
        bool operator>(const Due& o) const { return when > o.when; }
    };

    void StartDue();
    void StartProbe(Page& page);
    void Advance(Page& page, ProbeStep step);
    void Drive();
    /// Takes a page's request out of the multi handle.
    void Remove(Page& page);
    void Finish(Page& page);
    void TakeRead();
    void End(Page& page);
    CURL* TakeHandle();
    void GiveBack(Page& page);
    void ReleaseHandle(Page& page);
    int WaitMs(std::chrono::milliseconds maxWait) const;

    Options m_options;
    CURLM* m_pMulti = nullptr;
    curl_slist* m_pHeaders = nullptr;
    KeptConnections m_kept;        // outlives the multi handle, which closes through it
    std::vector<CURL*> m_idle;     // handles free for the next probe
    std::vector<CURL*> m_handles;  // every handle made
    std::vector<std::unique_ptr<Page>> m_pages;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> m_due;
    std::queue<Page*> m_ready;   // due, waiting for a free slot
    std::queue<Page*> m_resume;  // a probe's connect retry, due
    static constexpr int kMaxUnderWay = 4096;  // probes begun and not ended, back-offs too
    int m_nUnderWay = 0;
    std::set<Page*> m_running;  // a request in the multi handle
    std::unique_ptr<Readers> m_readers;    // made when a first text is read
    std::unique_ptr<Readers> m_renderers;  // made when a first page is rendered
    int m_nLive = 0;
    int m_nWakeFd = -1;
};

}  // namespace sentrel
