#pragma once
// Alert mails as both programs send them: each on a worker of its own, its result handed to
// the program, the mails still out counted, and a bound on how long the exit waits for them.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "alerts/AlertPolicy.h"
#include "base/WorkerGroup.h"
#include "delivery/AlertMailThread.h"

namespace sentrel {

class MailDispatcher : public Mailer {
  public:
    /// `settings` are read afresh for each mail (the account, the server); each result goes
    /// to `results` (on the mail's own thread); `noThread` is told when a mail could not be
    /// started at all.
    MailDispatcher(const Settings& settings, MailTarget results, std::function<void()> noThread);
    /// Gives up waiting: mails still out end on their own, and tell nobody.
    ~MailDispatcher() override;
    MailDispatcher(const MailDispatcher&) = delete;
    MailDispatcher& operator=(const MailDispatcher&) = delete;

    void Send(const AlertMail& mail) override;

    /// Mails sent whose result has not come.
    int Out() const { return m_pOut->load(); }
    /// Waits until no mail is out or `bound` passed; true when none is.
    bool WaitIdle(std::chrono::milliseconds bound) { return m_workers.WaitIdle(bound); }
    /// The exit: no result is handed on any more, and the workers that ended within
    /// `bound` are joined; any other is left to end alone.
    void Close(std::chrono::milliseconds bound);

  private:
    const Settings& m_settings;
    std::function<void()> m_fnNoThread;
    std::shared_ptr<std::atomic<int>> m_pOut = std::make_shared<std::atomic<int>>(0);
    MailTarget m_pCounted;  // counts each result, then hands it on
    WorkerGroup m_workers;
};

}  // namespace sentrel
