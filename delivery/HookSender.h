#pragma once
// Alerts to where teams look: every event the alert policy tells is POSTed to webhooks
// (the JSON object sentrel-watch --json prints) and to an ntfy topic (a plain message with
// ntfy's headers). Each target has a thread of its own, so a hook that hangs holds up no
// other, and neither the window nor the probe loop ever waits on one.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alerts/AlertPolicy.h"

namespace sentrel {

/// Where the events go: webhook URLs and an ntfy topic URL, from the settings.
struct HookTargets {
    std::vector<std::string> webhooks;
    std::string ntfy;
    std::string proxy;  ///< the program's proxy (empty: the environment's), as pages take it
    bool Any() const { return !webhooks.empty() || !ntfy.empty(); }
    /// The settings' targets; none while the switch (bwebhook) is off.
    static HookTargets Of(const Settings& settings);
};

/// One POST as it goes out.
struct HookRequest {
    std::string url;
    std::vector<std::string> headers;  ///< "Name: value", ASCII
    std::string body;
    std::string proxy{};  ///< as HookTargets::proxy
};
/// A webhook's request: the event's JSON object.
HookRequest WebhookRequest(const std::string& url, const AlertReport& report);
/// An ntfy topic's request: the event as a message, its kind as Title and Tags, the page
/// as Click.
HookRequest NtfyRequest(const std::string& topic, const AlertReport& report);

/// Whether a hook URL can be used; false with why (not http or https, blanks inside).
bool HookUrlUsable(const std::string& url, std::string& problem);

class HookSender : public Hooks {
  public:
    struct Options {
        std::chrono::milliseconds bound{10000};   ///< one try, connecting included
        int tries = 3;
        std::chrono::milliseconds backoff{1000};  ///< before the second try; doubled after
        /// Events one hook keeps waiting, at most (count, bytes): a hook that is down for
        /// long loses its oldest events rather than the program its memory.
        std::size_t maxQueued = 100;
        std::size_t maxQueuedBytes = 8u * 1024 * 1024;
    };
    /// Told, on a sender's thread, when a hook begins to fail (once per outage) and when
    /// it works again.
    using Log = std::function<void(const std::string& text)>;

    explicit HookSender(Log log, Options options);
    explicit HookSender(Log log) : HookSender(std::move(log), Options()) {}
    /// Gives up what is queued; a request under way is aborted. Events a hook dropped and
    /// did not tell yet are told.
    ~HookSender() override;
    HookSender(const HookSender&) = delete;
    HookSender& operator=(const HookSender&) = delete;

    /// Queues the event for every target; returns at once.
    void Send(const HookTargets& targets, const AlertReport& report);
    /// Queues the event for the targets the settings name.
    void Deliver(const Settings& settings, const AlertReport& report) override {
        Send(HookTargets::Of(settings), report);
    }
    /// Waits until every queued event was delivered or given up, at most until `until`;
    /// true when none is left.
    bool WaitIdle(std::chrono::steady_clock::time_point until);
    /// The longest one delivery may take, all its tries and waits included.
    std::chrono::milliseconds DeliveryBound() const;
    /// Deliveries given up (dropped ones too), and those not ended yet.
    int Unconfirmed() const;

  private:
    struct Target;
    void Run(Target& target);
    /// Drops the oldest waiting events of `target` beyond its bounds (under the lock).
    void Trim(Target& target);
    /// What a hook tells of its events dropped since it last told, or empty.
    static std::string DroppedText(Target& target);
    /// One try: empty when the hook confirmed it (2xx), else why not; `retry` false when
    /// trying again cannot help (a 4xx answer).
    std::string Post(void* handle, const HookRequest& request, bool& retry);

    Log m_fnLog;
    Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<std::string, std::unique_ptr<Target>> m_targets;  // by URL
    std::atomic<bool> m_bStop{false};
    int m_nPending = 0;  // queued or under way
    int m_nFailed = 0;   // given up
};

}  // namespace sentrel
