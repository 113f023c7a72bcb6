// One page rendered: its own context, loaded and settled within its bounds, its document
// read by the browser, and everything of it gone after.
#include <algorithm>
#include <cctype>
#include <set>

#include "base/Translate.h"
#include "platform/CurlRules.h"
#include "platform/Files.h"
#include "platform/TextRules.h"
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

// A failed navigation that is the proxy's, not the page's: what went wrong there.
bool ProxyFailureOfNavigation(const std::string& error, Renderer::Page& page) {
    auto has = [&](const char* what) { return error.find(what) != std::string::npos; };
    if (has("ERR_PROXY_CONNECTION_FAILED") || has("ERR_SOCKS_CONNECTION_FAILED"))
        page.net = NetFailure::Refused;
    else if (has("ERR_PROXY_CERTIFICATE_INVALID"))
        page.net = NetFailure::Certificate;
    else if (has("ERR_PROXY_AUTH"))
        page.nHttpStatus = 407;
    else if (has("ERR_TUNNEL_CONNECTION_FAILED") || has("ERR_MANDATORY_PROXY_CONFIGURATION_FAILED") ||
             has("ERR_SOCKS_CONNECTION_HOST_UNREACHABLE"))
        page.net = NetFailure::Network;
    else
        return false;
    page.bProxy = true;
    return true;
}

// A browser context's proxy: Chromium's rules and bypass list, with the credentials
// apart (answered over the protocol when the proxy asks, never written in the rules).
struct BrowserProxy {
    std::string rules, bypass, user, password;
};

// One proxy URL as Chromium names it ("http://host:port"), its credentials taken out.
// Without a port, the port libcurl takes for that kind of proxy.
std::string ChromiumProxy(const std::string& url, BrowserProxy& into) {
    CURLU* u = Curl() ? Curl()->url() : nullptr;
    std::string rule;
    if (u && Curl()->url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME) ==
                 CURLUE_OK) {
        auto part = [u](CURLUPart which, unsigned flags = 0) {
            char* text = nullptr;
            std::string value;
            if (Curl()->url_get(u, which, &text, flags) == CURLUE_OK && text) value = text;
            if (text) Curl()->free(text);
            return value;
        };
        std::string scheme = part(CURLUPART_SCHEME), port = part(CURLUPART_PORT);
        if (scheme == "socks5h") scheme = "socks5";  // Chromium's socks5 names hosts on the proxy
        if (port.empty()) port = scheme == "https" ? "443" : "1080";
        rule = scheme + "://" + part(CURLUPART_HOST) + ":" + port;
        if (into.user.empty()) {
            into.user = part(CURLUPART_USER, CURLU_URLDECODE);
            into.password = part(CURLUPART_PASSWORD, CURLU_URLDECODE);
        }
    }
    if (u) Curl()->url_cleanup(u);
    return rule;
}

BrowserProxy BrowserProxyOf(const ProxyChoice& choice) {
    BrowserProxy proxy;
    // As libcurl does, loopback pages go through a proxy too.
    switch (choice.kind) {
        case ProxyChoice::Direct:
            proxy.rules = "direct://";
            break;
        case ProxyChoice::Url:
            proxy.rules = ChromiumProxy(choice.url, proxy);
            proxy.bypass = "<-loopback>";
            break;
        case ProxyChoice::Environment: {
            auto env = [](const char* lower, const char* upper) {
                std::string value = GetEnv(lower);
                return value.empty() && upper ? GetEnv(upper) : value;
            };
            // libcurl's reading: http_proxy in lower case only, the others in either.
            const std::string http = env("http_proxy", nullptr), https = env("https_proxy", "HTTPS_PROXY"),
                              all = env("all_proxy", "ALL_PROXY");
            if (!http.empty()) proxy.rules += "http=" + ChromiumProxy(http, proxy);
            if (!https.empty()) proxy.rules += (proxy.rules.empty() ? "" : ";") + ("https=" + ChromiumProxy(https, proxy));
            if (proxy.rules.empty() && !all.empty()) proxy.rules = ChromiumProxy(all, proxy);
            if (proxy.rules.empty()) break;
            proxy.bypass = "<-loopback>";
            std::string hosts = env("no_proxy", "NO_PROXY");
            std::replace(hosts.begin(), hosts.end(), ',', ';');
            if (!TrimBlanks(hosts).empty()) proxy.bypass += ";" + hosts;
            break;
        }
    }
    return proxy;
}

// A request's headers, as the browser reports them, with the row's own.
Json HeadersWithRows(const Json& sent, const std::vector<std::string>& own, bool sameOrigin) {
    HeaderList headers;
    if (sent.is_object())
        for (auto it = sent.begin(); it != sent.end(); ++it)
            if (it.value().is_string()) headers.emplace_back(it.key(), it.value().get<std::string>());
    Json list = Json::array();
    for (const auto& [name, value] : WithRowHeaders(std::move(headers), own, sameOrigin))
        list.push_back(Json{{"name", name}, {"value", value}});
    return list;
}

// A crash of a page's process whose processes held at least this part of their bound is
// told as the page's size: the bound is what ends such pages.
constexpr std::size_t kCrashNearBound = 2;  // a half

}  // namespace

void Renderer::RenderOn(Browser& browser, const Bounds& bounds, const std::string& url,
                        const std::function<bool()>& stopped, Page& page, const PageRoute* route) {
    DevTools& tools = *browser.tools;
    const BrowserProxy proxy = BrowserProxyOf(route ? route->proxy : ProxyChoice());
    const std::vector<std::string> noHeaders;
    const std::vector<std::string>& ownHeaders = route ? route->headers : noHeaders;
    const std::string origin = ownHeaders.empty() ? std::string() : OriginOf(url);
    // Every request is held for a word when the row's headers go with it or its proxy may
    // ask for credentials; else only those refused are.
    const bool holdEvery = !ownHeaders.empty() || !proxy.user.empty();
    std::set<std::string> answered;  // requests whose proxy was given the credentials once
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
        Json contextParams{{"disposeOnDetach", true}};
        if (!proxy.rules.empty()) {
            contextParams["proxyServer"] = proxy.rules;
            if (!proxy.bypass.empty()) contextParams["proxyBypassList"] = proxy.bypass;
        }
        if (!call("Target.createBrowserContext", contextParams, r, "") ||
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
            !call("Fetch.enable",
                  holdEvery ? Json{{"patterns", Json::array({Json{{"urlPattern", "*"}}})},
                                   {"handleAuthRequests", !proxy.user.empty()}}
                            : Json{{"patterns", skipped}},
                  r, session))
            return failed();
        auto navigationFailed = [&](const std::string& why) {
            if (!ProxyFailureOfNavigation(why, page)) page.net = FailureOfNavigation(why);
            return ProbeFailure::Network;
        };
        const auto start = Clock::now();
        std::string frame, document;
        if (!holdEvery) {
            // Its answer comes once the server answered: the load's bound is its bound.
            last = tools.Call("Page.navigate", {{"url", url}}, r, error, session, start + bounds.load, stopped);
            if (last != DevTools::Outcome::Ok) return failed();
            const std::string navigationError = devtools::Str(r, "errorText");
            if (!navigationError.empty()) return navigationFailed(navigationError);
            frame = devtools::Str(r, "frameId");
        } else {
            // Its request is held for a word from here: the answer is not waited for, and
            // the document's request tells how the navigation went. A page's main frame
            // bears its target's id.
            tools.Post("Page.navigate", {{"url", url}}, session);
            frame = target;
        }
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
                if (holdEvery && document.empty() && devtools::Str(params, "type") == "Document" &&
                    devtools::Str(params, "frameId") == frame)
                    document = devtools::Str(params, "requestId");
            } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
                inFlight.erase(devtools::Str(params, "requestId"));
                lastActivity = Clock::now();
                if (method == "Network.loadingFailed" && !loaded && !document.empty() &&
                    devtools::Str(params, "requestId") == document)
                    return navigationFailed(devtools::Str(params, "errorText"));
            } else if (method == "Network.responseReceived" && devtools::Str(params, "type") == "Document" &&
                       devtools::Str(params, "frameId") == frame) {
                page.nHttpStatus = devtools::Int(devtools::Obj(params, "response"), "status", 0);
                if (page.nHttpStatus == 407) {  // the proxy's answer, never the page's
                    page.bProxy = true;
                    return ProbeFailure::Network;
                }
            } else if (method == "Page.loadEventFired" && !loaded) {
                loaded = true;
                loadAt = lastActivity = Clock::now();
            } else if (method == "Page.javascriptDialogOpening") {
                tools.Post("Page.handleJavaScriptDialog", {{"accept", false}}, session);  // dismissed
            } else if (method == "Fetch.requestPaused") {
                const std::string id = devtools::Str(params, "requestId"), type = devtools::Str(params, "resourceType");
                if (type == "Image" || type == "Font" || type == "Media") {
                    tools.Post("Fetch.failRequest", {{"requestId", id}, {"errorReason", "BlockedByClient"}}, session);
                } else if (ownHeaders.empty()) {
                    tools.Post("Fetch.continueRequest", {{"requestId", id}}, session);
                } else {
                    const Json& request = devtools::Obj(params, "request");
                    const Json headers = HeadersWithRows(devtools::Obj(request, "headers"), ownHeaders,
                                                        OriginOf(devtools::Str(request, "url")) == origin);
                    tools.Post("Fetch.continueRequest", {{"requestId", id}, {"headers", headers}}, session);
                }
            } else if (method == "Fetch.authRequired") {
                // The proxy's question is answered once a request; a site's, never.
                const std::string id = devtools::Str(params, "requestId");
                const bool give = devtools::Str(devtools::Obj(params, "authChallenge"), "source") == "Proxy" &&
                                  !proxy.user.empty() && answered.insert(id).second;
                Json response{{"response", give ? "ProvideCredentials" : "CancelAuth"}};
                if (give) {
                    response["username"] = proxy.user;
                    response["password"] = proxy.password;
                }
                tools.Post("Fetch.continueWithAuth", {{"requestId", id}, {"authChallengeResponse", response}}, session);
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
