#include "delivery/HookSender.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "alerts/AlertJson.h"
#include "base/Translate.h"
#include "delivery/SmtpClient.h"
#include "platform/CurlApi.h"
#include "platform/CurlRules.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
        const std::size_t end = text.find_first_of(" \t\r\n", at);
        words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
        at = end;
    }
    return words;
}

// A header's value must stay on its line: anything but printable ASCII makes it unusable.
bool PlainHeaderValue(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
}

std::size_t Discard(char*, std::size_t size, std::size_t n, void*) {
    return size * n;
}

int Abort(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

}  // namespace

HookTargets HookTargets::Of(const Settings& settings) {
    HookTargets targets;
    if (!settings.m_bWebhook) return targets;
    targets.webhooks = Words(settings.m_strWebhook);
    const std::vector<std::string> ntfy = Words(settings.m_strNtfy);
    if (!ntfy.empty()) targets.ntfy = ntfy.front();
    targets.proxy = settings.m_strProxy;
    return targets;
}

bool HookUrlUsable(const std::string& url, std::string& problem) {
    if (IsWebUrl(url) && PlainHeaderValue(url) && url.find(' ') == std::string::npos) return true;
    problem = Fill(Tr("推送网址须以 http:// 或 https:// 开头：{0}"), {WithoutPassword(url)});
    return false;
}

HookRequest WebhookRequest(const std::string& url, const AlertReport& report) {
    return {url, {"Content-Type: application/json"}, ReportJson(report)};
}

HookRequest NtfyRequest(const std::string& topic, const AlertReport& report) {
    static const char* const kTags[kEventKinds] = {"bell", "warning", "white_check_mark", "memo"};
    const std::string message =
        (report.note.empty() ? report.url : report.note + "\n" + report.url) + ReportDetails(report);
    // A title beyond ASCII travels as RFC 2047 words, as ntfy reads them, on one line.
    std::string title = EncodeHeaderText(ReportTitle(report.kind));
    for (std::size_t fold; (fold = title.find("\r\n")) != std::string::npos;) title.erase(fold, 2);
    HookRequest request{topic,
                        {"Content-Type: text/plain; charset=utf-8", "Title: " + title,
                         std::string("Tags: ") + kTags[KindIndex(report.kind)] + "," +
                             ReportKindName(report.kind)},
                        ValidUtf8(message)};
    if (PlainHeaderValue(report.url)) request.headers.push_back("Click: " + report.url);
    return request;
}

struct HookSender::Target {
    std::string url;
    std::deque<HookRequest> queue;  // the front is under way while bBusy
    std::size_t nBytes = 0;         // of the requests queued
    bool bBusy = false;
    int nDropped = 0;               // dropped since last told
    std::thread thread;
    bool bFailing = false;  // the outage was told; told again only once it ended
};

namespace {
std::size_t BytesOf(const HookRequest& r) {
    std::size_t n = r.url.size() + r.body.size();
    for (const std::string& h : r.headers) n += h.size();
    return n;
}
}  // namespace

void HookSender::Trim(Target& target) {
    // The one under way stays; the oldest of those waiting go first.
    const std::size_t keep = target.bBusy ? 1 : 0;
    while (target.queue.size() > keep &&
           (target.queue.size() > m_options.maxQueued || target.nBytes > m_options.maxQueuedBytes)) {
        auto oldest = target.queue.begin() + static_cast<std::ptrdiff_t>(keep);
        target.nBytes -= BytesOf(*oldest);
        target.queue.erase(oldest);
        ++target.nDropped;
        --m_nPending;
        ++m_nFailed;
    }
}

std::string HookSender::DroppedText(Target& target) {
    if (target.nDropped == 0) return std::string();
    const int n = std::exchange(target.nDropped, 0);
    return Fill(TrN("推送到 {0} 积压过多，丢弃了 {1} 个最早的事件",
                    "推送到 {0} 积压过多，丢弃了 {1} 个最早的事件", static_cast<unsigned long>(n)),
                {WithoutPassword(target.url), std::to_string(n)});
}

HookSender::HookSender(Log log, Options options)
    : m_fnLog(std::move(log)), m_options(options) {}

HookSender::~HookSender() {
    std::vector<std::string> told;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        for (auto& [url, target] : m_targets)
            if (std::string text = DroppedText(*target); !text.empty()) told.push_back(std::move(text));
    }
    for (const std::string& text : told)
        if (m_fnLog) m_fnLog(text);
    m_cv.notify_all();
    for (auto& [url, target] : m_targets)
        if (target->thread.joinable()) target->thread.join();
}

void HookSender::Send(const HookTargets& targets, const AlertReport& report) {
    std::vector<HookRequest> requests;
    for (const std::string& url : targets.webhooks) requests.push_back(WebhookRequest(url, report));
    if (!targets.ntfy.empty()) requests.push_back(NtfyRequest(targets.ntfy, report));
    for (HookRequest& request : requests) request.proxy = targets.proxy;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (HookRequest& request : requests) {
        std::unique_ptr<Target>& target = m_targets[request.url];
        if (!target) {
            target = std::make_unique<Target>();
            target->url = request.url;
            try {
                Target* t = target.get();
                target->thread = std::thread([this, t] { Run(*t); });
            } catch (const std::system_error&) {
                ++m_nFailed;  // no thread: nothing can go to this hook
                m_targets.erase(request.url);
                continue;
            }
        }
        target->nBytes += BytesOf(request);
        target->queue.push_back(std::move(request));
        ++m_nPending;
        Trim(*target);
    }
    m_cv.notify_all();
}

std::chrono::milliseconds HookSender::DeliveryBound() const {
    std::chrono::milliseconds all = m_options.bound * m_options.tries, wait = m_options.backoff;
    for (int i = 1; i < m_options.tries; ++i, wait *= 2) all += wait;
    return all;
}

bool HookSender::WaitIdle(std::chrono::steady_clock::time_point until) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_until(lock, until, [this] { return m_nPending == 0; });
}

int HookSender::Unconfirmed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nPending + m_nFailed;
}

void HookSender::Run(Target& target) {
    // One handle for the hook's life: its connection is kept from one event to the next.
    CURL* handle = Curl() ? Curl()->easy_init() : nullptr;
    struct Cleanup {
        CURL* h;
        ~Cleanup() {
            if (h) Curl()->easy_cleanup(h);
        }
    } cleanup{handle};
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [&] { return m_bStop || !target.queue.empty(); });
        if (m_bStop) return;
        const HookRequest request = target.queue.front();
        target.bBusy = true;
        lock.unlock();
        std::string problem;
        auto wait = m_options.backoff;
        for (int attempt = 1; attempt <= m_options.tries; ++attempt, wait *= 2) {
            bool retry = true;
            problem = Post(handle, request, retry);
            if (problem.empty() || !retry || attempt == m_options.tries) break;
            std::unique_lock<std::mutex> sleeping(m_mutex);
            if (m_cv.wait_for(sleeping, wait, [this] { return m_bStop.load(); })) break;
        }
        // An outage is told when it begins and when it ends, never once per event; the
        // delivery has ended once that is told.
        std::string told;
        if (!problem.empty() && !target.bFailing)
            told = Fill(Tr("推送到 {0} 失败：{1}"), {WithoutPassword(target.url), problem});
        else if (problem.empty() && target.bFailing)
            told = Fill(Tr("推送到 {0} 已恢复"), {WithoutPassword(target.url)});
        const bool recovered = problem.empty() && target.bFailing;
        target.bFailing = !problem.empty();  // this thread's alone
        if (!told.empty() && m_fnLog && !m_bStop) m_fnLog(told);
        lock.lock();
        // Events dropped while it was down are told once it is back.
        if (recovered && m_fnLog && !m_bStop)
            if (std::string dropped = DroppedText(target); !dropped.empty()) {
                lock.unlock();
                m_fnLog(dropped);
                lock.lock();
            }
        target.bBusy = false;
        target.nBytes -= BytesOf(target.queue.front());
        target.queue.pop_front();
        --m_nPending;
        if (!problem.empty()) ++m_nFailed;
        m_cv.notify_all();
    }
}

std::string HookSender::Post(void* handle, const HookRequest& request, bool& retry) {
    CURL* h = static_cast<CURL*>(handle);
    if (!h) return Tr("无法建立网络会话");
    curl_slist* headers = nullptr;
    for (const std::string& header : request.headers)
        headers = Curl()->slist_append(headers, header.c_str());
    headers = Curl()->slist_append(headers, "Expect:");  // no wait for a 100 Continue
    Curl()->easy_setopt(h, CURLOPT_URL, request.url.c_str());
    Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    Curl()->easy_setopt(h, CURLOPT_POST, 1L);
    Curl()->easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    Curl()->easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    Curl()->easy_setopt(h, CURLOPT_USERAGENT, "HalvexSentrel");
    // Verified as mail is: the chain and the host name, against the system's store or
    // the bundle the environment names.
    UseTrustStore(h, true);
    const ProxyChoice proxy = ChooseProxy("", request.proxy);
    UseProxy(h, proxy);
    Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl()->easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_options.bound.count()));
    Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                        static_cast<long>(std::min<long long>(m_options.bound.count(), 5000)));
    Curl()->easy_setopt(h, CURLOPT_WRITEFUNCTION, &Discard);
    Curl()->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Abort);
    Curl()->easy_setopt(h, CURLOPT_XFERINFODATA, static_cast<void*>(&m_bStop));
    const CURLcode rc = Curl()->easy_perform(h);
    long status = 0;
    Curl()->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    Curl()->slist_free_all(headers);
    if (const ProxyTrouble trouble = ProxyTroubleOf(h, rc, status, proxy.kind == ProxyChoice::Url); trouble.Any())
        return trouble.Reason();
    if (rc != CURLE_OK) return NetReason(NetFailureOf(rc));
    if (status >= 200 && status < 300) return std::string();
    // A hook that refuses the request refuses it again; one that is busy may not.
    retry = status >= 500 || status == 408 || status == 429;
    return "HTTP " + std::to_string(status);
}

}  // namespace sentrel
