#pragma once
// Pages built by script, rendered in a real browser: one headless Chromium-family browser
// for the whole program, started when the first rendered page is due and ended after a
// minute without one, each page in a browser context of its own (no cookie or storage
// shared), at most a few at once, every step with a bound. The browser is untrusted
// input: each of its processes has a bound on its memory, every answer is read as it may
// be malformed, and a browser that has rendered many pages, or grown, is started anew.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/PageAccess.h"
#include "probe/ProbeResult.h"

namespace sentrel {

class DevTools;

class Renderer {
  public:
    /// How long each step may take, and what a browser may hold; tests shorten them.
    struct Bounds {
        std::chrono::milliseconds load{30000};     ///< to the load event
        std::chrono::milliseconds quiet{500};      ///< without a request in flight, after it
        std::chrono::milliseconds settle{10000};   ///< after the load event at the latest
        std::chrono::milliseconds command{10000};  ///< one answer of the browser
        std::chrono::milliseconds idle{60000};     ///< without a page, before the browser ends
        int pages = 2;                             ///< rendered at once
        /// Data each of the browser's processes may hold: a page that needs more fails
        /// ("页面过大") and costs no other page.
        std::size_t memory = std::size_t(1) << 30;
        /// A browser is started anew after this many pages, or once its processes hold
        /// more than `grown` after a page: a long run does not grow.
        int pagesPerBrowser = 200;
        std::size_t grown = std::size_t(3) << 29;  // 1.5 GiB
    };

    /// What a render gives: the document as the page's scripts left it, or why not.
    struct Page {
        ProbeFailure failure = ProbeFailure::None;
        int nHttpStatus = 0;
        std::string html;
        std::string detail;  ///< what went wrong with the browser, in the user's words
        NetFailure net = NetFailure::None;  ///< a Network failure's
        bool bProxy = false;  ///< the failure was the proxy's (net, or nHttpStatus 407)
    };

    /// The program's one renderer.
    static Renderer& Shared();

    Renderer();
    /// Ends the browser (see Shutdown).
    ~Renderer();

    /// The browser the settings name (empty: the one found); read at the next start.
    void SetBrowserSetting(const std::string& path);
    void SetBounds(const Bounds& bounds);

    /// Loads `url` in a fresh browser context, lets its scripts run until the page settles,
    /// and gives its document. `stop` (may be empty), asked now and then, gives it up.
    /// `route` (may be null): the row's proxy and headers, for this context alone.
    Page Render(const std::string& url, const std::function<bool()>& stop, const PageRoute* route = nullptr);

    /// Ends the browser and removes its profile: at the program's end, or when idle.
    void Shutdown();
    /// Browsers started so far (tests: a list without rendered rows starts none).
    int BrowsersStarted() const;
    /// What the current browser's processes hold now (tests, benchmarks); zeros without one.
    std::size_t BrowserMemory() const;

  private:
    struct Browser;
    std::shared_ptr<Browser> TakeBrowser(Page& page, const std::function<bool()>& stop);
    std::shared_ptr<Browser> StartBrowser(const Bounds& bounds, const std::string& setting, Page& page,
                                          const std::function<bool()>& stop);
    void RenderOn(Browser& browser, const Bounds& bounds, const std::string& url,
                  const std::function<bool()>& stopped, Page& page, const PageRoute* route);
    void Idle();

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    Bounds m_bounds;
    std::string m_strSetting;
    std::shared_ptr<Browser> m_browser;
    bool m_bStarting = false;  // a start under way, outside the lock: the others wait for it
    int m_nStarts = 0;         // starts tried (each row that waited for one takes its outcome)
    Page m_lastStart;          // why the last start failed
    int m_nActive = 0;
    std::atomic<int> m_nStarted{0};
    std::chrono::steady_clock::time_point m_lastUse;
    std::atomic<bool> m_bEnding{false};  // a start under way gives up
    int m_nShutdowns = 0;                // a browser started across a shutdown is not kept
    std::thread m_idle;                  // ends the browser after Bounds::idle without a page
};

}  // namespace sentrel
