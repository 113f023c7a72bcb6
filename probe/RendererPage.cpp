// One page rendered: its own context, loaded and settled within its bounds, its document
// read by the browser, and everything of it gone after.
#include <algorithm>
#include <set>

#include "base/Translate.h"
#include "probe/RendererBrowser.h"

namespace sentrel {

namespace {

using Json = DevTools::Json;
using Clock = std::chrono::steady_clock;

// The largest document a text is read from, as for a page fetched without a browser.
constexpr std::size_t kMaxDocument = 16u * 1024 * 1024;

// What a failed navigation says, in the table of a request's failures.
NetFailure FailureOfNavigation(const std::string& error) {
    auto has = [&](const char* what) { return error.find(what) != std::string::npos; };
    if (has("ERR_CERT_")) return NetFailure::Certificate;
    if (has("ERR_SSL_")) return NetFailure::TlsHandshake;
    if (has("ERR_CONNECTION_REFUSED") || has("ERR_CONNECTION_RESET")) return NetFailure::Refused;
    if (has("ERR_NAME_NOT_RESOLVED") || has("ERR_NAME_RESOLUTION_FAILED")) return NetFailure::Resolve;
    if (has("ERR_TIMED_OUT") || has("ERR_CONNECTION_TIMED_OUT")) return NetFailure::Timeout;
    if (has("ERR_TOO_MANY_REDIRECTS")) return NetFailure::TooManyRedirects;
    return NetFailure::Network;
}

// A crash of a page's process whose processes held at least this part of their bound is
// told as the page's size: the bound is what ends such pages.
constexpr std::size_t kCrashNearBound = 2;  // a half

}  // namespace

void Renderer::RenderOn(Browser& browser, const Bounds& bounds, const std::string& url,
                        const std::function<bool()>& stopped, Page& page) {
    DevTools& tools = *browser.tools;
    std::string context, target, session, error;
    DevTools::Outcome last = DevTools::Outcome::Ok;
    // Every command within its bound. A browser that does not answer is ended (and started
    // anew for the next page); a page that does not (a script that never ends) only loses
    // its context, which ends its renderer.
    auto call = [&](const char* method, const Json& params, Json& result, const std::string& on) {
        last = tools.Call(method, params, result, error, on, Clock::now() + bounds.command, stopped);
        if (last == DevTools::Outcome::NoAnswer && on.empty()) tools.Stop();
        return last == DevTools::Outcome::Ok;
    };
    // Why a command of the page's own failed: a page busy with its scripts does not
    // answer within the bound.
    auto cancelled = [&] {
        page.net = NetFailure::Cancelled;
        return ProbeFailure::Network;
    };
    auto failed = [&] {
        if (stopped()) return cancelled();
        if (last == DevTools::Outcome::NoAnswer && tools.Alive()) return ProbeFailure::RenderTimeout;
        page.detail = error;
        return ProbeFailure::BrowserFailed;
    };
    auto browserFailed = [&] {
        page.detail = error;
        return stopped() ? cancelled() : ProbeFailure::BrowserFailed;
    };
    auto need = [&](const Json& result, const char* key, const char* method, std::string& value) {
        return devtools::NeedStr(result, key, method, value, error);
    };
    auto run = [&]() -> ProbeFailure {
        Json r;
        if (!call("Target.createBrowserContext", {{"disposeOnDetach", true}}, r, "") ||
            !need(r, "browserContextId", "Target.createBrowserContext", context))
            return browserFailed();
        {
            std::lock_guard<std::mutex> lock(browser.contexts->mutex);
            browser.contexts->pages[context];
        }
        if (!call("Browser.setDownloadBehavior", {{"behavior", "deny"}, {"browserContextId", context}}, r, "") ||
            !call("Target.createTarget", {{"url", "about:blank"}, {"browserContextId", context}}, r, "") ||
            !need(r, "targetId", "Target.createTarget", target))
            return browserFailed();
        if (!call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, r, "") ||
            !need(r, "sessionId", "Target.attachToTarget", session))
            return browserFailed();
        tools.Listen(session);
        // Images, fonts and media are not needed for a text: each is refused as it is asked.
        const Json skipped = Json::array({Json{{"resourceType", "Image"}}, Json{{"resourceType", "Font"}},
                                          Json{{"resourceType", "Media"}}});
        if (!call("Page.enable", Json::object(), r, session) || !call("Network.enable", Json::object(), r, session) ||
            !call("Inspector.enable", Json::object(), r, session) ||
            !call("Network.setCacheDisabled", {{"cacheDisabled", true}}, r, session) ||
            !call("Fetch.enable", {{"patterns", skipped}}, r, session))
            return failed();
        // Its answer comes once the server answered: the load's bound is its bound.
        const auto start = Clock::now();
        last = tools.Call("Page.navigate", {{"url", url}}, r, error, session, start + bounds.load, stopped);
        if (last != DevTools::Outcome::Ok) return failed();
        const std::string navigationError = devtools::Str(r, "errorText");
        if (!navigationError.empty()) {
            page.net = FailureOfNavigation(navigationError);
            return ProbeFailure::Network;
        }
        const std::string frame = devtools::Str(r, "frameId");
        std::set<std::string> inFlight;
        bool loaded = false;
        Clock::time_point loadAt{}, lastActivity = Clock::now(), measured{};
        std::size_t largest = 0;  // the browser's largest process, while this page rendered
        for (;;) {
            const auto now = Clock::now();
            if (!loaded && now - start >= bounds.load) return ProbeFailure::RenderTimeout;
            if (loaded && ((inFlight.empty() && now - lastActivity >= bounds.quiet) || now - loadAt >= bounds.settle))
                break;
            if (stopped()) return cancelled();
            if (now - measured >= std::chrono::milliseconds(250)) {
                largest = std::max(largest, tools.Memory().largest);
                measured = now;
            }
            DevTools::Event event;
            if (!tools.NextEvent(session, event, now + std::chrono::milliseconds(50))) {
                if (!tools.Alive()) {
                    last = DevTools::Outcome::Gone;
                    return failed();
                }
                continue;
            }
            const std::string& method = event.method;
            const Json& params = event.params;
            if (method == "Network.requestWillBeSent") {
                inFlight.insert(devtools::Str(params, "requestId"));
                lastActivity = Clock::now();
            } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
                inFlight.erase(devtools::Str(params, "requestId"));
                lastActivity = Clock::now();
            } else if (method == "Network.responseReceived" && devtools::Str(params, "type") == "Document" &&
                       devtools::Str(params, "frameId") == frame) {
                page.nHttpStatus = devtools::Int(devtools::Obj(params, "response"), "status", 0);
            } else if (method == "Page.loadEventFired" && !loaded) {
                loaded = true;
                loadAt = lastActivity = Clock::now();
            } else if (method == "Page.javascriptDialogOpening") {
                tools.Post("Page.handleJavaScriptDialog", {{"accept", false}}, session);  // dismissed
            } else if (method == "Fetch.requestPaused") {
                tools.Post("Fetch.failRequest",
                           {{"requestId", devtools::Str(params, "requestId")}, {"errorReason", "BlockedByClient"}},
                           session);
            } else if (method == "Inspector.targetCrashed") {
                // Its process ended: past its memory bound, as such pages end, or broken.
                largest = std::max(largest, tools.Memory().largest);
                if (largest >= bounds.memory / kCrashNearBound) return ProbeFailure::TooLarge;
                page.detail = Tr("页面的进程崩溃了");
                return ProbeFailure::BrowserFailed;
            }
        }
        // The document as the browser holds it, read by the browser itself (no script of
        // the page can stand in for it). A script that never ends keeps it from being
        // read: the bound says so.
        if (!call("DOM.getDocument", {{"depth", 0}}, r, session)) return failed();
        const int node = devtools::Int(devtools::Obj(r, "root"), "nodeId", 0);
        if (node == 0) {
            error = Fill(Tr("{0} 的回答缺少 {1}"), {"DOM.getDocument", "root.nodeId"});
            return browserFailed();
        }
        if (!call("DOM.getOuterHTML", {{"nodeId", node}}, r, session)) return failed();
        const auto html = r.find("outerHTML");
        if (html == r.end() || !html->is_string()) {
            error = Fill(Tr("{0} 的回答缺少 {1}"), {"DOM.getOuterHTML", "outerHTML"});
            return browserFailed();
        }
        page.html = html->get<std::string>();
        if (page.html.size() > kMaxDocument) return ProbeFailure::TooLarge;
        if (page.nHttpStatus != 0 && page.nHttpStatus != 200) return ProbeFailure::HttpStatus;
        return ProbeFailure::None;
    };
    page.failure = run();
    if (page.failure != ProbeFailure::BrowserFailed) page.detail.clear();
    if (page.failure != ProbeFailure::None && page.failure != ProbeFailure::HttpStatus) page.html.clear();
    // Done with the page: its context goes, cookies and storage with it.
    if (!session.empty()) tools.Forget(session);
    if (!target.empty()) tools.Post("Target.closeTarget", {{"targetId", target}}, "");
    if (!context.empty()) {
        tools.Post("Target.disposeBrowserContext", {{"browserContextId", context}}, "");
        std::lock_guard<std::mutex> lock(browser.contexts->mutex);
        browser.contexts->pages.erase(context);
    }
}

}  // namespace sentrel
