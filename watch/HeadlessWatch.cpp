#include "watch/HeadlessWatch.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/Translate.h"
#include "probe/MultiWatcher.h"
#include "probe/Renderer.h"
#include "watch/WatchOutput.h"

namespace sentrel {

HeadlessWatch::HeadlessWatch(const Args& args, CCore& core, WatchProfile& profile, const int (&wake)[2],
                             const std::atomic<bool>& quit)
    : m_args(args),
      m_core(core),
      m_list(profile.List()),
      m_session(profile.Session()),
      m_nWakeRead(wake[0]),
      m_nWakeWrite(wake[1]),
      m_quit(quit),
      m_hooks([](const std::string& text) { Say(text); }) {}

HeadlessWatch::~HeadlessWatch() = default;

bool HeadlessWatch::OutputClosed() const {
    pollfd p{STDOUT_FILENO, 0, 0};
    return m_bOutputClosed || (::poll(&p, 1, 0) > 0 && (p.revents & POLLERR) != 0);
}

int HeadlessWatch::Run() {
    if (!m_args.feed.empty()) {
        m_feed = std::make_unique<AtomFeed>(m_args.feed);
        std::string error;
        if (!m_feed->Load(error)) {
            Say(error);
            return kExitErrors;
        }
    }
    return Watch();
}

int HeadlessWatch::Watch() {
    m_settings = m_core.Read();
    Renderer::Shared().SetBrowserSetting(m_settings.m_strBrowser);
    AlertPolicy::Options rules;
    rules.bOnePass = m_args.bOnce;
    rules.bKeepReportedSize = true;
    rules.bClampInterval = true;
    rules.saveDelay = std::chrono::seconds(5);
    AlertPolicy policy(m_session, m_settings, rules);
    if (policy.CanStart(m_args.nInterval) == AlertPolicy::kNoRows) {
        Complain("列表为空（{0}）", {m_list.Path()});
        return kExitQuiet;
    }
    // Mails end on threads of their own: their results wait here for the loop.
    auto results = std::make_shared<PostTarget<MailResult>>([this](MailResult result) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_mailResults.push_back(std::move(result));
        }
        Wake();
    });
    m_mails = std::make_unique<MailDispatcher>(m_settings, results, [this] {
        m_bErrors = true;
        Complain("没有可发送报警邮件的线程");
    });
    policy.SetReporter(this);
    policy.SetMailer(m_mails.get());
    policy.SetListKeeper(this);
    policy.SetHooks(&m_hooks);

    CMultiWatcher::Options options;
    options.bOnce = m_args.bOnce;
    // The loop's pages post to the model, on this thread, which is the model's own.
    CMultiWatcher engine(options);
    if (!engine.Open()) {
        Complain("无法打开 HTTP 会话");
        return kExitErrors;
    }
    engine.SetWakeFd(m_nWakeRead);
    m_session.SetWatcherStarter([&engine](WatchEntry e) { return engine.Add(std::move(e)); });
    m_session.Start(policy.RunOptions(m_args.nInterval));

    while (!m_quit && engine.LivePages() > 0 && !OutputClosed()) {
        const auto untilDue = std::chrono::duration_cast<std::chrono::milliseconds>(
            policy.NextDue() - std::chrono::steady_clock::now());
        engine.Turn(
            std::clamp(untilDue, std::chrono::milliseconds(0), std::chrono::milliseconds(1000)));
        char drain[64];
        while (read(m_nWakeRead, drain, sizeof drain) > 0) {
        }
        TakeMailResults();
        policy.Poll();
        WriteFeed(false);
    }
    m_session.Stop();
    engine.EndAll();
    Renderer::Shared().Shutdown();  // a browser that rendered pages ends with the run
    policy.SaveNow();
    WriteFeed(true);
    // Mails under way: a pass for cron waits for them; a signal (also one that comes while
    // it waits) leaves them little time.
    const auto mailBound = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!m_quit && !OutputClosed() && std::chrono::steady_clock::now() < mailBound &&
           !m_mails->WaitIdle(std::chrono::milliseconds(100))) {
    }
    TakeMailResults();
    const int mailsOut = m_mails->Out();
    m_mails->Close(std::chrono::milliseconds(300));
    // Hooks likewise: a pass waits for them within their bound; a signal does not.
    if (!m_quit && !OutputClosed())
        m_hooks.WaitIdle(std::chrono::steady_clock::now() + m_hooks.DeliveryBound());
    if (const int hooksOut = m_hooks.Unconfirmed(); hooksOut > 0 && m_args.bOnce) {
        m_bErrors = true;
        Say(Fill(TrN("{0} 个推送未得到确认", "{0} 个推送未得到确认", hooksOut),
                 {std::to_string(hooksOut)}));
    }
    if (mailsOut > 0) {
        m_bErrors = true;
        Say(Fill(
            TrN("{0} 封报警邮件在退出前未得到确认", "{0} 封报警邮件在退出前未得到确认", mailsOut),
            {std::to_string(mailsOut)}));
    }
    if (OutputClosed()) {
        // As a Unix tool ends when its reader goes: by SIGPIPE, once all is stored.
        signal(SIGPIPE, SIG_DFL);
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigprocmask(SIG_UNBLOCK, &pipeOnly, nullptr);
        raise(SIGPIPE);
    }
    // A service that was asked to end ended well, unless its sizes could not be kept.
    if (!m_args.bOnce) return m_bStoreFailed ? kExitErrors : kExitQuiet;
    if (m_bErrors || m_bStoreFailed) return kExitErrors;
    return m_bChanged ? kExitChanged : kExitQuiet;
}

void HeadlessWatch::Wake() const {
    const char byte = 1;
    if (write(m_nWakeWrite, &byte, 1) < 0) {
    }
}

bool HeadlessWatch::Report(const AlertReport& report) {
    // A quiet change is told to nobody: only a reader of every event (--json) sees it.
    if (report.kind == EventKind::Quiet && !m_args.bJson) return true;
    if (report.kind == EventKind::Changed) m_bChanged = true;
    if (report.kind == EventKind::Failing) m_bErrors = true;
    if (m_feed && report.kind != EventKind::Quiet) m_feed->Add(report);
    std::printf("%s\n", FormatReport(report, m_args.bJson).c_str());
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    if (errno == EPIPE) m_bOutputClosed = true;
    std::clearerr(stdout);
    return false;
}

void HeadlessWatch::Save() {
    std::string told;
    m_bStoreFailed = !m_list.Save(m_session, told);
    if (m_bStoreFailed) Say(told);
}

// The feed at most once a second: a burst of events is one write, the exit another.
void HeadlessWatch::WriteFeed(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!m_feed || !m_feed->Dirty() || (!now && time - m_feedWritten < std::chrono::seconds(1)))
        return;
    m_feedWritten = time;
    std::string error;
    if (!m_feed->Write(error)) {
        if (!m_bFeedFailing) Complain("订阅源无法写入：{0}", {error});  // once per outage
        m_bFeedFailing = m_bErrors = true;
    } else {
        m_bFeedFailing = false;
    }
}

void HeadlessWatch::TakeMailResults() {
    std::deque<MailResult> results;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        results.swap(m_mailResults);
    }
    for (const MailResult& result : results) {
        if (result.outcome == MailOutcome::Sent) continue;
        m_bErrors = true;
        Complain("报警邮件未发出：{0}", {result.reason});
    }
}

}  // namespace sentrel
