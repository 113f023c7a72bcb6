#pragma once
// Pages built by script, rendered in a real browser: one headless Chromium-family browser
// for the whole program, started when the first rendered page is due and ended after a
// minute without one, each page in a browser context of its own (no cookie or storage
// shared), at most a few at once, every step with a bound.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "ProbeResult.h"

namespace sentrel {

class DevTools;

class Renderer {
  public:
    /// How long each step may take; tests shorten them.
    struct Bounds {
        std::chrono::milliseconds load{30000};   ///< to the load event
        std::chrono::milliseconds quiet{500};    ///< without a request in flight, after it
        std::chrono::milliseconds settle{10000}; ///< after the load event at the latest
        std::chrono::milliseconds command{10000};  ///< one answer of the browser
        std::chrono::milliseconds idle{60000};   ///< without a page, before the browser ends
        int pages = 2;                           ///< rendered at once
    };

    /// What a render gives: the document as the page's scripts left it, or why not.
    struct Page {
        ProbeFailure failure = ProbeFailure::None;
        int nHttpStatus = 0;
        std::string html;
    };

    /// The program's one renderer.
    static Renderer& Shared();

    Renderer();
    /// Ends the browser (see Shutdown).
    ~Renderer();

    /// The browser the settings name (empty: the one found); read at the next start.
    void SetBrowserSetting(const std::string& path);
    void SetBounds(const Bounds& bounds);
    /// The browser a start would use now: $SENTREL_BROWSER, else `setting`, else the first
    /// of BrowserCandidates(); empty when there is none.
    static std::string FindBrowser(const std::string& setting);

    /// Loads `url` in a fresh browser context, lets its scripts run until the page settles,
    /// and gives its document. `stop` (may be empty), asked now and then, gives it up.
    Page Render(const std::string& url, const std::function<bool()>& stop);

    /// Ends the browser and removes its profile: at the program's end, or when idle.
    void Shutdown();
    /// Browsers started so far (tests: a list without rendered rows starts none).
    int BrowsersStarted() const;

  private:
    struct Browser;
    bool EnsureBrowser(std::string& why, const std::function<bool()>& stop);
    void Idle();
    void BrowserEvent(const std::string& method, const std::string& context, const std::string& target,
                      const std::string& opener);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    Bounds m_bounds;
    std::string m_strSetting;
    std::shared_ptr<Browser> m_browser;
    int m_nActive = 0;
    int m_nStarted = 0;
    std::chrono::steady_clock::time_point m_lastUse;
    std::atomic<bool> m_bEnding{false};  // set before the lock is taken: a start under way gives up
    std::thread m_idle;  // ends the browser after Bounds::idle without a page
};

}  // namespace sentrel
