#include "HeadlessWatch.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "LineDiff.h"
#include "MultiWatcher.h"
#include "Renderer.h"
#include "ShardState.h"
#include "Translate.h"
#include "WatchList.h"
#include "WatchOutput.h"

namespace sentrel {

HeadlessWatch::HeadlessWatch(const Args& args, CCore& core, const int (&wake)[2],
                             const std::atomic<bool>& quit)
    : m_args(args),
      m_core(core),
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
    const ProgramPaths& paths = m_core.Paths();
    m_list = std::make_unique<ListFile>(paths.dataDir, m_args.nShard, m_args.nShards);
    m_list->OnTextProblem([](const std::string& told) { Say(told); });
    m_session.SetTextKeeper(&m_list->Texts());
    if (m_args.bList) return Load(ListFile::Shards::Read) ? List() : kExitErrors;
    if (!m_args.history.empty()) return History();
    if (!m_args.diff.empty()) return Diff();

    ProfileLock lock, shardLock;
    if (!Take(lock, m_args.nShards ? ProfileLock::Hold::kShared : ProfileLock::Hold::kAlone,
              "sentrel.lock") ||
        (m_args.nShards && !Take(shardLock, ProfileLock::Hold::kAlone,
                                 ShardLockName(m_args.nShard, m_args.nShards))) ||
        !RefuseOtherCounts())
        return kExitProfileTaken;
    // Shards that ran before left their sizes beside the list: whoever holds it alone takes
    // them back; a shard reads them over it.
    const bool read = Load(m_args.nShards ? ListFile::Shards::Read : ListFile::Shards::Fold);
    if (!m_args.add.empty() || !m_args.remove.empty()) return Edit();
    if (!read) return kExitErrors;
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
        Complain("列表为空（{0}）", {m_list->Path()});
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
    m_bStoreFailed = !m_list->Save(m_session, told);
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

// Takes `lock` as asked; false, with the reason told, when another program has it.
bool HeadlessWatch::Take(ProfileLock& lock, ProfileLock::Hold hold, const std::string& name) {
    const std::string& dir = m_core.Paths().dataDir;
    switch (lock.Acquire(dir, hold, name)) {
        case ProfileLock::kTaken:
            if (name != "sentrel.lock")
                Complain("分片 {0} 已在运行（{1}）", {m_args.shard, dir});
            else
                Complain("配置目录 {0} 正被另一个 Sentrel 程序使用", {dir});
            return false;
        case ProfileLock::kFailed:
            // Two programs must never write one list: without the lock, no run.
            Complain("配置目录 {0} 无法加锁：{1}", {dir, lock.Problem()});
            return false;
        case ProfileLock::kAcquired:
        case ProfileLock::kUnavailable:
            break;
    }
    return true;
}

// A shard takes its own lock first: of two counts that start at once, neither runs.
bool HeadlessWatch::RefuseOtherCounts() {
    if (!m_args.nShards) return true;
    const std::string& dir = m_core.Paths().dataDir;
    const std::vector<std::string> others = ShardsOfOtherCounts(dir, m_args.nShards);
    if (others.empty()) return true;
    std::string names;
    for (const std::string& other : others) names += (names.empty() ? "" : ", ") + other;
    Complain(
        "另一组分片（{0}）正在使用配置目录 {1}：分片数不同的两组会把每个变化报告两次，请等它们结束",
        {names, dir});
    return false;
}

// The list's rows (a shard's own only), with the sizes shards keep beside it.
bool HeadlessWatch::Load(ListFile::Shards shards) {
    std::vector<std::string> problems;
    const bool read = m_list->Load(m_session, shards, problems);
    for (const std::string& problem : problems) Say(problem);
    if (!read) Complain("无法读取列表：{0}", {m_list->ReadProblem()});
    return read;
}

int HeadlessWatch::List() {
    for (const WatchRow& row : m_session.Rows()) {
        if (m_args.bJson)
            std::printf("%s\n", FormatRow(row).c_str());
        else
            std::printf("%s\t%d\t%s\n", Visible(OneLine(row.url)).c_str(), row.nStoredSize,
                        Visible(OneLine(row.note)).c_str());
    }
    return kExitQuiet;
}

// The page's kept versions; false, told, when none can be had.
bool HeadlessWatch::VersionsOf(const std::string& url, std::vector<TextVersion>& versions) {
    std::string error;
    if (!m_list->Versions(url, versions, error)) {
        Say(error);
        return false;
    }
    if (versions.empty()) {
        Complain("没有保存 {0} 的版本（只有文字比较的行才保存版本）", {ShownUrl(url)});
        return false;
    }
    return true;
}

// --history URL: the page's versions, newest first.
int HeadlessWatch::History() {
    std::vector<TextVersion> versions;
    if (!VersionsOf(m_args.history, versions)) return kExitErrors;
    for (auto v = versions.rbegin(); v != versions.rend(); ++v)
        std::printf("%s\n", FormatVersion(*v, m_args.bJson).c_str());
    return kExitQuiet;
}

// --diff URL [--from N] [--to M]: what went and came between two versions.
int HeadlessWatch::Diff() {
    std::vector<TextVersion> versions;
    if (!VersionsOf(m_args.diff, versions)) return kExitErrors;
    std::string error;
    const int count = static_cast<int>(versions.size());
    const int to = m_args.nTo ? m_args.nTo : count;
    const int from = m_args.nFrom ? m_args.nFrom : std::max(1, to - 1);
    std::string before, after;
    for (auto [n, text] : {std::pair<int, std::string*>{from, &before}, {to, &after}}) {
        if (n > count) {
            Complain("没有第 {0} 个版本（{1} 有 {2} 个）",
                     {std::to_string(n), ShownUrl(m_args.diff), std::to_string(count)});
            return kExitErrors;
        }
        if (!m_list->VersionText(m_args.diff, n, *text, error)) {
            Say(error);
            return kExitErrors;
        }
    }
    for (const content::ShownLine& line :
         content::ShownChanges(content::DiffLines(before, after), m_args.bWords))
        std::printf("%s\n", Visible(content::ShownText(line)).c_str());
    return kExitQuiet;
}

// --add and --remove: the list changed as the window's dialog would change it; a list that
// could not be read is never written over, the change goes to a recovery file beside it.
int HeadlessWatch::Edit() {
    if (!m_args.remove.empty()) {
        std::vector<RowId> rows;
        for (const WatchRow& row : m_session.Rows())
            if (row.url == m_args.remove) rows.push_back(row.id);
        if (rows.empty()) {
            Complain("列表中没有网址为 {0} 的行", {ShownUrl(m_args.remove)});
            return kExitErrors;
        }
        for (RowId id : rows) m_session.RemoveRow(id);
    } else {
        std::string url = m_args.add, note = m_args.note;
        CompareOptions compare;
        CompareOptions::ModeNamed(m_args.compare, compare.mode);
        if (m_args.bRender) compare.mode = CompareOptions::kText;
        compare.render = m_args.bRender;
        std::string alertIf;
        if (compare.Text()) {
            compare.select = m_args.select;
            for (const std::string& rule : m_args.ignore)
                compare.ignore += (compare.ignore.empty() ? "" : "\n") + rule;
            for (const std::string& rule : m_args.alertIf)
                alertIf += (alertIf.empty() ? "" : "\n") + rule;
        }
        std::string problem;
        int interval = 0;
        if (!CheckRow(url, note, compare, problem, alertIf) ||
            !ReadPageInterval(m_args.pageInterval, interval, problem)) {
            Say(problem);
            return kExitErrors;
        }
        const RowId id = m_session.AddRow(url, note, 0, {}, {}, compare);
        m_session.SetInterval(id, interval);
        m_session.SetAlertIf(id, alertIf);
    }
    std::string told;
    const bool unread = m_list->SaveTarget() != m_list->Path();
    if (!m_list->Save(m_session, told)) {
        Say(told);
        return kExitErrors;
    }
    if (unread) {
        Complain("列表未改动；改动后的列表保存在 {0}", {m_list->SaveTarget()});
        return kExitErrors;
    }
    return kExitQuiet;
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
