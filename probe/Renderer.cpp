#include "probe/Renderer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "base/Translate.h"
#include "platform/Files.h"
#include "platform/PipeChild.h"
#include "probe/BrowserFinder.h"
#include "probe/DevTools.h"
#include "probe/RendererBrowser.h"

namespace sentrel {

namespace {

using Json = DevTools::Json;
using Clock = std::chrono::steady_clock;
namespace stdfs = std::filesystem;

// The browser talks to nothing but the pages it renders: no updates, sync, metrics,
// safe-browsing look-ups, network time, default apps or first-run tasks; no images.
std::vector<std::string> BrowserArgs(const std::string& profile) {
    std::vector<std::string> args = {
        "--headless", "--remote-debugging-pipe", "--user-data-dir=" + profile, "--no-first-run",
        "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
        "--disable-sync", "--disable-default-apps", "--disable-extensions",
        "--disable-component-extensions-with-background-pages", "--disable-breakpad", "--metrics-recording-only",
        "--no-pings", "--disable-client-side-phishing-detection", "--safebrowsing-disable-auto-update",
        "--disable-domain-reliability", "--disable-field-trial-config", "--no-service-autorun",
        "--password-store=basic",
        "--disable-features=Translate,OptimizationHints,OptimizationGuideModelDownloading,MediaRouter,SafeBrowsing,"
        "AutofillServerCommunication,CertificateTransparencyComponentUpdater,InterestFeedContentSuggestions,"
        "NetworkTimeServiceQuerying,WebUIOmniboxPopup,WebUIOmniboxAimPopup,WebUIOmniboxFullPopup",
        "--disable-gpu", "--mute-audio", "--hide-scrollbars", "--blink-settings=imagesEnabled=false"};
    if (RunningAsRoot()) args.push_back("--no-sandbox");  // the one case it cannot have one
    args.push_back("about:blank");
    return args;
}

// Room a browser needs in its profile for the socket that keeps a second browser off it:
// "/t" (its temporary folder), "/.org.chromium.Chromium.XXXXXX", "/SingletonSocket".
constexpr std::size_t kSocketRoom = 48;

}  // namespace

Renderer& Renderer::Shared() {
    // Never destroyed: a watcher left to end at the exit may still ask it; the exit ends
    // the browser through the handler.
    static Renderer* shared = [] {
        auto* r = new Renderer;
        std::atexit([] { Shared().Shutdown(); });
        return r;
    }();
    return *shared;
}

Renderer::Renderer() = default;

Renderer::~Renderer() {
    Shutdown();
}

void Renderer::SetBrowserSetting(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strSetting = path;
}

void Renderer::SetBounds(const Bounds& bounds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bounds = bounds;
}

int Renderer::BrowsersStarted() const {
    return m_nStarted;
}

std::size_t Renderer::BrowserMemory() const {
    std::shared_ptr<Browser> browser;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        browser = m_browser;
    }
    return browser ? browser->tools->Memory().total : 0;
}

// Outside the lock: rows that wait for this start wait on the renderer's condition, and
// those with a browser of their own go on rendering.
std::shared_ptr<Renderer::Browser> Renderer::StartBrowser(const Bounds& bounds, const std::string& setting, Page& page,
                                                          const std::function<bool()>& stop) {
    const std::string program = FindBrowser(setting);
    if (program.empty()) {
        page.failure = ProbeFailure::NoBrowser;
        return nullptr;
    }
    page.failure = ProbeFailure::BrowserFailed;
    auto browser = std::make_shared<Browser>();
    std::string error;
    browser->profile = fs::NewTempFolder("sentrel-", kSocketRoom, error);
    if (browser->profile.empty()) {
        page.detail = Fill(Tr("无法创建临时文件夹：{0}"), {error});
        return nullptr;
    }
    // Its temporary files go into its profile, and with it when it ends.
    const std::string temp = browser->profile + fs::kSeparator + "t";
    std::error_code ec;
    stdfs::create_directory(stdfs::u8path(temp), ec);
    const PipeChild::Environment env = {{"TMPDIR", temp}, {"TMP", temp}, {"TEMP", temp}};
    auto child = std::make_unique<PipeChild>();
    if (!child->Start(program, BrowserArgs(browser->profile), error, env, bounds.memory)) {
        page.detail = error;
        return nullptr;
    }
    ++m_nStarted;
    browser->tools = std::make_unique<DevTools>(
        std::move(child), [contexts = browser->contexts](DevTools& tools, const DevTools::Event& event) {
            // Popups the pages open are closed: only each context's own page is read.
            if (event.method != "Target.targetCreated") return;
            const Json& info = devtools::Obj(event.params, "targetInfo");
            if (devtools::Str(info, "type") != "page") return;
            const std::string context = devtools::Str(info, "browserContextId");
            const std::string target = devtools::Str(info, "targetId");
            std::lock_guard<std::mutex> lock(contexts->mutex);
            auto it = contexts->pages.find(context);
            if (it == contexts->pages.end() || target.empty()) return;
            if (it->second.empty())
                it->second = target;
            else if (it->second != target)
                tools.Post("Target.closeTarget", {{"targetId", target}}, "");
        });
    Json result;
    const auto given = [&] { return m_bEnding || (stop && stop()); };
    switch (browser->tools->Call("Target.setDiscoverTargets", {{"discover", true}}, result, error, "",
                                 Clock::now() + bounds.command, given)) {
        case DevTools::Outcome::Ok:
            page.failure = ProbeFailure::None;
            return browser;
        case DevTools::Outcome::Stopped:
            page.failure = ProbeFailure::Network;
            page.net = NetFailure::Cancelled;
            return nullptr;
        default:
            page.detail = error;
            return nullptr;
    }
}

// The browser to render on: the one running, or one started now. Rows that come while
// another starts one wait for that start and take its outcome.
std::shared_ptr<Renderer::Browser> Renderer::TakeBrowser(Page& page, const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_browser && m_browser->tools->Alive()) return m_browser;
        if (!m_bStarting) break;
        const int start = m_nStarts;
        while (m_bStarting && m_nStarts == start) {
            if (stop && stop()) {
                page.failure = ProbeFailure::Network;
                page.net = NetFailure::Cancelled;
                return nullptr;
            }
            m_cv.wait_for(lock, std::chrono::milliseconds(100));
        }
        if (!(m_browser && m_browser->tools->Alive()) && m_nStarts != start) {
            page = m_lastStart;
            return nullptr;
        }
    }
    m_browser.reset();  // one that ended or broke is replaced
    m_bStarting = true;
    const Bounds bounds = m_bounds;
    const std::string setting = m_strSetting;
    const int shutdowns = m_nShutdowns;
    lock.unlock();
    Page started;
    std::shared_ptr<Browser> browser = StartBrowser(bounds, setting, started, stop);
    lock.lock();
    m_bStarting = false;
    ++m_nStarts;
    if (browser && m_nShutdowns != shutdowns) {  // the program ended it meanwhile
        browser.reset();
        started.failure = ProbeFailure::Network;
        started.net = NetFailure::Cancelled;
    }
    if (browser) {
        m_browser = browser;
        m_lastUse = Clock::now();
        if (!m_idle.joinable()) m_idle = std::thread([this] { Idle(); });
    } else {
        m_lastStart = started;
        page = started;
    }
    m_cv.notify_all();
    return browser;
}

void Renderer::Idle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bEnding) {
        if (m_browser && m_nActive == 0 && Clock::now() - m_lastUse >= m_bounds.idle) {
            std::shared_ptr<Browser> idle = std::move(m_browser);
            lock.unlock();
            idle.reset();  // ends it, outside the lock: it joins its reader
            lock.lock();
            continue;
        }
        m_cv.wait_for(lock, m_browser ? m_bounds.idle / 4 + std::chrono::milliseconds(1) : std::chrono::seconds(3600));
    }
}

void Renderer::Shutdown() {
    std::shared_ptr<Browser> browser;
    m_bEnding = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        browser = std::move(m_browser);
        ++m_nShutdowns;
    }
    m_cv.notify_all();
    if (m_idle.joinable() && m_idle.get_id() != std::this_thread::get_id()) m_idle.join();
    // Pages still under way fail at once; the last of them to let go removes the profile.
    if (browser) browser->tools->Stop();
    browser.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnding = false;  // a later page starts a browser again
}

Renderer::Page Renderer::Render(const std::string& url, const std::function<bool()>& stop, const PageRoute* route) {
    Page page;
    auto stopped = [&] { return stop && stop(); };
    Bounds bounds;
    std::shared_ptr<Browser> browser;
    // A browser that ends while this page waits for its turn is replaced, once.
    for (int tries = 0;; ++tries) {
        browser = TakeBrowser(page, stop);
        if (!browser) return page;
        std::unique_lock<std::mutex> lock(m_mutex);
        bounds = m_bounds;
        while (m_nActive >= bounds.pages) {
            if (stopped()) return {ProbeFailure::Network, 0, {}, {}, NetFailure::Cancelled};
            m_cv.wait_for(lock, std::chrono::milliseconds(100));
        }
        if (browser->tools->Alive() || tries == 1) {
            ++m_nActive;
            break;
        }
    }
    RenderOn(*browser, bounds, url, stopped, page, route);
    // Started anew after many pages, or once it has grown: the next page starts another,
    // and this one ends when the last of its pages lets go of it.
    const bool grown = browser->tools->Alive() && browser->tools->Memory().total > bounds.grown;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_nActive;
        m_lastUse = Clock::now();
        if ((++browser->pages >= bounds.pagesPerBrowser || grown) && m_browser == browser) m_browser.reset();
    }
    m_cv.notify_all();
    return page;
}

}  // namespace sentrel
