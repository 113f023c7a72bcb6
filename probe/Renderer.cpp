#include "Renderer.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "DevTools.h"
#include "Files.h"
#include "PipeChild.h"

namespace sentrel {

namespace {

using Json = DevTools::Json;
using Clock = std::chrono::steady_clock;
namespace stdfs = std::filesystem;

// The largest document a text is read from, as for a page fetched without a browser.
constexpr std::size_t kMaxDocument = 16u * 1024 * 1024;

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

// What a failed navigation says, as a probe's failure.
ProbeFailure FailureOfNavigation(const std::string& error) {
    auto has = [&](const char* what) { return error.find(what) != std::string::npos; };
    if (has("ERR_CERT_")) return ProbeFailure::Tls;
    if (has("ERR_SSL_")) return ProbeFailure::TlsHandshake;
    if (has("ERR_CONNECTION_REFUSED") || has("ERR_CONNECTION_RESET")) return ProbeFailure::Refused;
    if (has("ERR_NAME_NOT_RESOLVED") || has("ERR_NAME_RESOLUTION_FAILED")) return ProbeFailure::Resolve;
    if (has("ERR_TIMED_OUT") || has("ERR_CONNECTION_TIMED_OUT")) return ProbeFailure::Timeout;
    if (has("ERR_TOO_MANY_REDIRECTS")) return ProbeFailure::TooManyRedirects;
    return ProbeFailure::Network;
}

std::string NewProfile() {
    std::random_device random;
    std::error_code ec;
    const stdfs::path base = stdfs::temp_directory_path(ec);
    for (int attempt = 0; attempt < 20; ++attempt) {
        const stdfs::path dir = base / ("sentrel-browser-" + std::to_string(random()));
        if (stdfs::create_directory(dir, ec)) return dir.u8string();
    }
    return std::string();
}

}  // namespace

struct Renderer::Browser {
    std::unique_ptr<DevTools> tools;
    std::string profile;
    std::mutex mutex;
    std::map<std::string, std::string> pages;  // each context's page (empty until it shows)
    ~Browser() {
        tools.reset();  // the browser ends first: then its profile can go
        std::error_code ec;
        if (!profile.empty()) stdfs::remove_all(stdfs::u8path(profile), ec);
    }
};

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
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nStarted;
}

std::string Renderer::FindBrowser(const std::string& setting) {
    const std::string asked = GetEnv("SENTREL_BROWSER");
    if (!asked.empty()) return IsProgram(asked) ? asked : std::string();
    if (!setting.empty()) return IsProgram(setting) ? setting : std::string();
    const std::vector<std::string> found = BrowserCandidates();
    return found.empty() ? std::string() : found.front();
}

// Under m_mutex. A browser that ended or broke is replaced.
bool Renderer::EnsureBrowser(std::string& why, const std::function<bool()>& stop) {
    if (m_browser && m_browser->tools->Alive()) return true;
    m_browser.reset();
    const std::string program = FindBrowser(m_strSetting);
    if (program.empty()) {
        why = "none";
        return false;
    }
    auto browser = std::make_shared<Browser>();
    browser->profile = NewProfile();
    auto child = std::make_unique<PipeChild>();
    std::string error;
    if (browser->profile.empty()) {
        why = "no temporary folder";
        return false;
    }
    // Its temporary files go into its profile, and with it when it ends.
    const std::string temp = browser->profile + "/temp";
    std::error_code ec;
    stdfs::create_directory(stdfs::u8path(temp), ec);
    const PipeChild::Environment env = {{"TMPDIR", temp}, {"TMP", temp}, {"TEMP", temp}};
    if (!child->Start(program, BrowserArgs(browser->profile), error, env)) {
        why = error;
        return false;
    }
    ++m_nStarted;
    std::weak_ptr<Browser> weak = browser;
    browser->tools = std::make_unique<DevTools>(std::move(child), [this, weak](const Json& event) {
        // Popups the pages open are closed: only each context's own page is read.
        if (event.value("method", "") != "Target.targetCreated") return;
        const Json info = event.value("params", Json::object()).value("targetInfo", Json::object());
        auto b = weak.lock();
        if (!b || info.value("type", "") != "page") return;
        const std::string context = info.value("browserContextId", ""), target = info.value("targetId", "");
        std::lock_guard<std::mutex> lock(b->mutex);
        auto it = b->pages.find(context);
        if (it == b->pages.end()) return;
        if (it->second.empty())
            it->second = target;
        else if (it->second != target)
            b->tools->Post("Target.closeTarget", {{"targetId", target}}, "");
    });
    Json result;
    const auto given = [&] { return m_bEnding || (stop && stop()); };
    if (!browser->tools->Call("Target.setDiscoverTargets", {{"discover", true}}, result, error, "",
                              Clock::now() + m_bounds.command, given)) {
        why = error;
        return false;
    }
    m_browser = std::move(browser);
    if (!m_idle.joinable()) m_idle = std::thread([this] { Idle(); });
    return true;
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
    }
    m_cv.notify_all();
    if (m_idle.joinable() && m_idle.get_id() != std::this_thread::get_id()) m_idle.join();
    // Pages still under way fail at once; the last of them to let go removes the profile.
    if (browser) browser->tools->Stop();
    browser.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnding = false;  // a later page starts a browser again
}

Renderer::Page Renderer::Render(const std::string& url, const std::function<bool()>& stop) {
    Page page;
    auto stopped = [&] { return stop && stop(); };
    Bounds bounds;
    std::shared_ptr<Browser> browser;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        bounds = m_bounds;
        while (m_nActive >= bounds.pages) {
            if (stopped()) return {ProbeFailure::Network, 0, {}};
            m_cv.wait_for(lock, std::chrono::milliseconds(100));
        }
        std::string why;
        if (!EnsureBrowser(why, stop)) {
            page.failure = why == "none" ? ProbeFailure::NoBrowser : ProbeFailure::BrowserFailed;
            return page;
        }
        browser = m_browser;
        ++m_nActive;
    }
    DevTools& tools = *browser->tools;
    std::string context, target, session, error;
    // Every command within its bound. A browser that does not answer is ended (and started
    // anew for the next page); a page that does not (a script that never ends) only loses
    // its context, which ends its renderer.
    auto call = [&](const char* method, const Json& params, Json& result, const std::string& on) {
        if (tools.Call(method, params, result, error, on, Clock::now() + bounds.command, stopped)) return true;
        if (on.empty() && tools.Alive() && error.find("no answer") != std::string::npos) tools.Stop();
        return false;
    };
    auto run = [&]() -> ProbeFailure {
        Json r;
        if (!call("Target.createBrowserContext", {{"disposeOnDetach", true}}, r, "")) return ProbeFailure::BrowserFailed;
        context = r.value("browserContextId", "");
        {
            std::lock_guard<std::mutex> lock(browser->mutex);
            browser->pages[context];
        }
        if (!call("Browser.setDownloadBehavior", {{"behavior", "deny"}, {"browserContextId", context}}, r, "") ||
            !call("Target.createTarget", {{"url", "about:blank"}, {"browserContextId", context}}, r, ""))
            return ProbeFailure::BrowserFailed;
        target = r.value("targetId", "");
        if (!call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, r, ""))
            return ProbeFailure::BrowserFailed;
        session = r.value("sessionId", "");
        tools.Listen(session);
        // Images, fonts and media are not needed for a text: each is refused as it is asked.
        const Json skipped = Json::array({Json{{"resourceType", "Image"}}, Json{{"resourceType", "Font"}},
                                          Json{{"resourceType", "Media"}}});
        if (!call("Page.enable", Json::object(), r, session) || !call("Network.enable", Json::object(), r, session) ||
            !call("Network.setCacheDisabled", {{"cacheDisabled", true}}, r, session) ||
            !call("Fetch.enable", {{"patterns", skipped}}, r, session))
            return ProbeFailure::BrowserFailed;
        // Its answer comes once the server answered: the load's bound is its bound.
        const auto start = Clock::now();
        if (!tools.Call("Page.navigate", {{"url", url}}, r, error, session, start + bounds.load, stopped))
            return tools.Alive() ? ProbeFailure::RenderTimeout : ProbeFailure::BrowserFailed;
        if (!r.value("errorText", "").empty()) return FailureOfNavigation(r.value("errorText", ""));
        const std::string frame = r.value("frameId", "");
        std::set<std::string> inFlight;
        bool loaded = false;
        Clock::time_point loadAt{}, lastActivity = Clock::now();
        for (;;) {
            const auto now = Clock::now();
            if (!loaded && now - start >= bounds.load) return ProbeFailure::RenderTimeout;
            if (loaded && ((inFlight.empty() && now - lastActivity >= bounds.quiet) || now - loadAt >= bounds.settle))
                break;
            if (stopped()) return ProbeFailure::Network;
            Json event;
            if (!tools.NextEvent(session, event, now + std::chrono::milliseconds(50))) {
                if (!tools.Alive()) return ProbeFailure::BrowserFailed;
                continue;
            }
            const std::string method = event.value("method", "");
            const Json params = event.value("params", Json::object());
            if (method == "Network.requestWillBeSent") {
                inFlight.insert(params.value("requestId", ""));
                lastActivity = Clock::now();
            } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
                inFlight.erase(params.value("requestId", ""));
                lastActivity = Clock::now();
            } else if (method == "Network.responseReceived" && params.value("type", "") == "Document" &&
                       params.value("frameId", "") == frame) {
                page.nHttpStatus = params.value("response", Json::object()).value("status", 0);
            } else if (method == "Page.loadEventFired" && !loaded) {
                loaded = true;
                loadAt = lastActivity = Clock::now();
            } else if (method == "Page.javascriptDialogOpening") {
                tools.Post("Page.handleJavaScriptDialog", {{"accept", false}}, session);  // dismissed
            } else if (method == "Fetch.requestPaused") {
                tools.Post("Fetch.failRequest", {{"requestId", params.value("requestId", "")}, {"errorReason", "BlockedByClient"}},
                           session);
            }
        }
        // A script that never ends keeps the document from being read: the bound says so.
        if (!call("Runtime.evaluate",
                  {{"expression", "document.documentElement ? document.documentElement.outerHTML : ''"},
                   {"returnByValue", true}},
                  r, session))
            return tools.Alive() ? ProbeFailure::RenderTimeout : ProbeFailure::BrowserFailed;
        page.html = r.value("result", Json::object()).value("value", "");
        if (page.html.size() > kMaxDocument) return ProbeFailure::TooLarge;
        if (page.nHttpStatus != 0 && page.nHttpStatus != 200) return ProbeFailure::HttpStatus;
        return ProbeFailure::None;
    };
    page.failure = run();
    if (page.failure != ProbeFailure::None && page.failure != ProbeFailure::HttpStatus) page.html.clear();
    // Done with the page: its context goes, cookies and storage with it.
    if (!session.empty()) tools.Forget(session);
    if (!target.empty()) tools.Post("Target.closeTarget", {{"targetId", target}}, "");
    if (!context.empty()) {
        tools.Post("Target.disposeBrowserContext", {{"browserContextId", context}}, "");
        std::lock_guard<std::mutex> lock(browser->mutex);
        browser->pages.erase(context);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_nActive;
        m_lastUse = Clock::now();
    }
    m_cv.notify_all();
    return page;
}

}  // namespace sentrel
