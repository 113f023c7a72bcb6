#pragma once
// A browser's DevTools protocol over its pipe: commands as NUL-ended JSON written to it,
// answers and events as NUL-ended JSON read from it by a thread of this object's own.
// Answers find their command by id; events go to the queue of their session (browser-wide
// ones to a handler). Nothing here waits without a bound, and no message, however it is
// made, ends more than the command it answers (see DevToolsMessage.h).

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

#include "platform/PipeChild.h"
#include "probe/DevToolsMessage.h"

namespace sentrel {

class DevTools {
  public:
    using Json = devtools::Json;
    using Clock = std::chrono::steady_clock;
    /// An event: its method and its params (always an object).
    struct Event {
        std::string method;
        Json params;
    };
    /// Browser-wide events (no session), on the reader's thread: quick, and never a Call.
    using BrowserEvents = std::function<void(DevTools& tools, const Event& event)>;
    /// How a command ended.
    enum class Outcome {
        Ok,        ///< answered with its result
        Refused,   ///< answered with an error, or with an answer of the wrong shape
        NoAnswer,  ///< none came within its bound: the browser is stuck, or the page is
        Stopped,   ///< given up because asked to
        Gone,      ///< the browser ended, or stopped speaking the protocol
    };

    /// Talks to the started `child`; browser-wide events go to `onBrowserEvent`.
    DevTools(std::unique_ptr<PipeChild> child, BrowserEvents onBrowserEvent);
    /// Stops the browser and the reader.
    ~DevTools();
    DevTools(const DevTools&) = delete;
    DevTools& operator=(const DevTools&) = delete;

    /// Sends a command (on a session, or the browser's when empty) and waits for its answer
    /// until `until`, or until `stop` (may be empty, asked now and then) says so. Anything
    /// but Ok comes with the reason in `error`.
    Outcome Call(const std::string& method, const Json& params, Json& result, std::string& error,
                 const std::string& session, Clock::time_point until, const std::function<bool()>& stop = {});
    /// Sends a command whose answer nobody waits for.
    void Post(const std::string& method, const Json& params, const std::string& session);

    /// Starts queuing the events of a session, or stops and drops them.
    void Listen(const std::string& session);
    void Forget(const std::string& session);
    /// The session's next event, waiting until `until`; false when none came by then, or
    /// the browser is gone.
    bool NextEvent(const std::string& session, Event& event, Clock::time_point until);

    /// What the browser's processes hold now.
    PipeChild::Memory Memory() const { return m_child->TreeMemory(); }
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
    std::map<int, devtools::Message> m_answers;           // answers not yet taken
    std::map<int, bool> m_waiting;                        // ids someone waits for
    std::map<std::string, std::deque<Event>> m_sessions;  // events of sessions listened to
    std::thread m_reader;
};

}  // namespace sentrel
