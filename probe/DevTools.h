#pragma once
// A browser's DevTools protocol over its pipe: commands as NUL-ended JSON written to it,
// answers and events as NUL-ended JSON read from it by a thread of this object's own.
// Answers find their command by id; events go to the queue of their session (browser-wide
// ones to a handler). Nothing here waits without a bound.
#include <nlohmann/json.hpp>

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

#include "PipeChild.h"

namespace sentrel {

class DevTools {
  public:
    using Json = nlohmann::json;
    using Clock = std::chrono::steady_clock;
    /// Browser-wide events (no session), on the reader's thread: quick, and never a Call.
    using BrowserEvents = std::function<void(const Json& event)>;

    /// Talks to the started `child`; browser-wide events go to `onBrowserEvent`.
    DevTools(std::unique_ptr<PipeChild> child, BrowserEvents onBrowserEvent);
    /// Stops the browser and the reader.
    ~DevTools();
    DevTools(const DevTools&) = delete;
    DevTools& operator=(const DevTools&) = delete;

    /// Sends a command (on a session, or the browser's when empty) and waits for its answer
    /// until `until`, or until `stop` (may be empty, asked now and then) says so. False when
    /// none came (the browser is gone, answers nonsense or is stuck) or it answered with an
    /// error; the reason in `error`.
    bool Call(const std::string& method, const Json& params, Json& result, std::string& error,
              const std::string& session, Clock::time_point until, const std::function<bool()>& stop = {});
    /// Sends a command whose answer nobody waits for.
    void Post(const std::string& method, const Json& params, const std::string& session);

    /// Starts queuing the events of a session, or stops and drops them.
    void Listen(const std::string& session);
    void Forget(const std::string& session);
    /// The session's next event, waiting until `until`; false when none came by then, or
    /// the browser is gone.
    bool NextEvent(const std::string& session, Json& event, Clock::time_point until);

    /// False once the browser ended, broke the protocol or was stopped.
    bool Alive() const { return m_bAlive; }
    /// Ends the browser (and with it every Call and NextEvent under way).
    void Stop();

  private:
    void ReadLoop();
    void Handle(const std::string& message);
    void Dead();

    std::unique_ptr<PipeChild> m_child;
    BrowserEvents m_fnBrowserEvent;
    std::atomic<bool> m_bAlive{true};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nNextId = 0;
    std::map<int, Json> m_answers;                        // answers not yet taken
    std::map<int, bool> m_waiting;                        // ids someone waits for
    std::map<std::string, std::deque<Json>> m_sessions;  // events of sessions listened to
    std::thread m_reader;
};

}  // namespace sentrel
