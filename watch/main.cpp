// sentrel-watch: the window's list watched without a window, for servers, cron and
// lists of thousands of pages. Same profile, same rules, same mails; events on stdout.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "AlertMailThread.h"
#include "AlertPolicy.h"
#include "AtomFeed.h"
#include "CCore.h"
#include "HookSender.h"
#include "MultiWatcher.h"
#include "ProfileLock.h"
#include "ShardState.h"
#include "TextRules.h"
#include "Translate.h"
#include "UrlStore.h"
#include "WatchList.h"
#include "WatchArgs.h"
#include "WatchOutput.h"
#include "WatchSession.h"
#include "WorkerGroup.h"

using namespace sentrel;

namespace {

int g_wakePipe[2] = {-1, -1};
std::atomic<bool> g_quit{false};
bool g_outputClosed = false;  // whoever read our output went away

// True once standard output leads nowhere: its reader closed the pipe.
bool OutputClosed() {
    pollfd p{STDOUT_FILENO, 0, 0};
    return g_outputClosed || (::poll(&p, 1, 0) > 0 && (p.revents & POLLERR) != 0);
}

void OnSignal(int) {
    g_quit = true;
    const char byte = 1;
    if (write(g_wakePipe[1], &byte, 1) < 0) {
    }
}


// The program without a window: the list on one event loop, its events told as lines, its
// alerts sent as the window sends them. What differs from the window is the alert policy's
// options (a one-pass run, reported sizes kept, no row limit, a clamped interval).
class HeadlessWatch : public Reporter, public Mailer, public ListKeeper {
  public:
    HeadlessWatch(const Args& args, CCore& core) : m_args(args), m_core(core) {}

    int Run() {
        const ProgramPaths& paths = m_core.Paths();
        m_store = std::make_unique<UrlStore>(paths.dataDir + "user.mdb");
        // A shard writes its own file only; the list is read, never written, while shards run.
        m_stateStore = m_args.nShards
                           ? std::make_unique<UrlStore>(
                                 ShardStatePath(paths.dataDir, m_args.nShard, m_args.nShards))
                           : nullptr;
        auto textError = [](const std::string& e) { Complain("无法保存网页文字：{0}", {e}); };
        if (m_stateStore)
            m_textKeeper = std::make_unique<ShardTextKeeper>(m_stateStore->Path(), m_store->Path(),
                                                             textError);
        else
            m_textKeeper = std::make_unique<StoreTextKeeper>(m_store->Path(), textError);
        m_session.SetTextKeeper(m_textKeeper.get());
        if (m_args.bList) return Load() ? List() : kExitErrors;

        ProfileLock lock, shardLock;
        if (!Take(lock, m_args.nShards ? ProfileLock::Hold::kShared : ProfileLock::Hold::kAlone,
                  "sentrel.lock") ||
            (m_args.nShards &&
             !Take(shardLock, ProfileLock::Hold::kAlone, ShardLockName(m_args.nShard, m_args.nShards))))
            return kExitProfileTaken;
        if (m_args.nShards) {
            // Its own lock is taken first: of two counts that start at once, neither runs.
            const std::vector<std::string> others = ShardsOfOtherCounts(paths.dataDir, m_args.nShards);
            if (!others.empty()) {
                std::string names;
                for (const std::string& other : others) names += (names.empty() ? "" : ", ") + other;
                Complain("另一组分片（{0}）正在使用配置目录 {1}：分片数不同的两组会把每个变化报告两次，请等它们结束",
                         {names, paths.dataDir});
                return kExitProfileTaken;
            }
        }
        if (!m_args.nShards) {
            // Shards that ran before left their sizes beside the list: it takes them back.
            std::string error;
            std::vector<std::string> problems;
            if (!FoldShardStates(paths.dataDir, *m_store, error, problems))
                problems.push_back(error);
            for (const std::string& problem : problems)
                Complain("分片的网页大小未能并入列表：{0}", {problem});
        }
        if (!Load()) return kExitErrors;
        if (!m_args.add.empty() || !m_args.remove.empty()) return Edit();
        if (!m_args.feed.empty()) {
            m_feed = std::make_unique<AtomFeed>(m_args.feed);
            std::string error;
            if (!m_feed->Load(error)) {
                Say(error);
                return kExitErrors;
            }
        }
        m_settings = m_core.Read();
        AlertPolicy::Options rules;
        rules.bOnePass = m_args.bOnce;
        rules.bKeepReportedSize = true;
        rules.bClampInterval = true;
        rules.saveDelay = std::chrono::seconds(5);
        AlertPolicy policy(m_session, m_settings, rules);
        if (policy.CanStart(m_args.nInterval) == AlertPolicy::kNoRows) {
            Complain("列表为空（{0}）", {m_store->Path()});
            return kExitQuiet;
        }
        policy.SetReporter(this);
        policy.SetMailer(this);
        policy.SetListKeeper(this);
        policy.SetHooks(&m_hooks);
        if (pipe(g_wakePipe) != 0) return kExitErrors;
        fcntl(g_wakePipe[0], F_SETFL, O_NONBLOCK);
        fcntl(g_wakePipe[1], F_SETFL, O_NONBLOCK);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        // A closed terminal (SIGHUP) ends it as a stop does: the sizes are stored.
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
        // A closed output is noticed by the writes (EPIPE) and ends the run in order.
        signal(SIGPIPE, SIG_IGN);

        CMultiWatcher::Options options;
        options.bOnce = m_args.bOnce;
        // The loop's pages tell the model directly, on this thread.
        CMultiWatcher engine(options, [this](const WatchMessage& m) { m_session.Deliver(m); });
        if (!engine.Open()) {
            Complain("无法打开 HTTP 会话");
            return kExitErrors;
        }
        engine.SetWakeFd(g_wakePipe[0]);
        // Mails end on threads of their own: their results wait here for the loop.
        m_pMailTarget = std::make_shared<PostTarget<MailResult>>([this](MailResult result) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_mailResults.push_back(std::move(result));
            const char byte = 1;
            if (write(g_wakePipe[1], &byte, 1) < 0) {
            }
        });
        m_session.SetWatcherStarter([&engine](WatchEntry e) { return engine.Add(std::move(e)); });
        m_session.Start(policy.RunOptions(m_args.nInterval));

        while (!g_quit && engine.LivePages() > 0 && !OutputClosed()) {
            const auto untilDue = std::chrono::duration_cast<std::chrono::milliseconds>(
                policy.NextDue() - std::chrono::steady_clock::now());
            engine.Turn(std::clamp(untilDue, std::chrono::milliseconds(0),
                                   std::chrono::milliseconds(1000)));
            char drain[64];
            while (read(g_wakePipe[0], drain, sizeof drain) > 0) {
            }
            TakeMailResults();
            policy.Poll();
            WriteFeed(false);
        }
        m_session.Stop();
        engine.EndAll();
        policy.SaveNow();
        WriteFeed(true);
        // Mails under way: a pass for cron waits for them; a signal (also one that comes
        // while it waits) leaves them little time.
        const auto mailBound = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!g_quit && !OutputClosed() && std::chrono::steady_clock::now() < mailBound &&
               !m_mailWorkers.WaitIdle(std::chrono::milliseconds(100))) {
        }
        m_mailWorkers.JoinAll(std::chrono::milliseconds(300));
        m_pMailTarget->Close();
        TakeMailResults();
        // Hooks likewise: a pass waits for them within their bound; a signal does not.
        if (!g_quit && !OutputClosed())
            m_hooks.WaitIdle(std::chrono::steady_clock::now() + m_hooks.DeliveryBound());
        if (const int hooksOut = m_hooks.Unconfirmed(); hooksOut > 0 && m_args.bOnce) {
            m_bErrors = true;
            Say(Fill(TrN("{0} 个推送未得到确认", "{0} 个推送未得到确认", hooksOut),
                     {std::to_string(hooksOut)}));
        }
        if (m_nMailsOut > 0) {
            m_bErrors = true;
            Say(Fill(TrN("{0} 封报警邮件在退出前未得到确认", "{0} 封报警邮件在退出前未得到确认",
                         m_nMailsOut),
                     {std::to_string(m_nMailsOut)}));
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

    // ---- What the alert policy asks of this program ----
    bool Report(const AlertReport& report) override {
        if (report.kind == EventKind::Changed) m_bChanged = true;
        if (report.kind == EventKind::Failing) m_bErrors = true;
        if (m_feed) m_feed->Add(report);
        std::printf("%s\n", FormatReport(report, m_args.bJson).c_str());
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
        if (errno == EPIPE) g_outputClosed = true;
        std::clearerr(stdout);
        return false;
    }

    void Send(const AlertMail& mail) override {
        AlertMailRequest request = AlertMailOf(
            m_settings, mail.kind, mail.url, mail.reason,
            mail.changes);
        request.hMainWnd = m_pMailTarget;
        if (StartAlertMailThread(request, m_mailWorkers)) {
            ++m_nMailsOut;
        } else {
            m_bErrors = true;
            Complain("没有可发送报警邮件的线程");
        }
    }

    void Save() override {
        std::string error;
        m_bStoreFailed = !SaveList(m_session, m_stateStore ? *m_stateStore : *m_store, error);
        if (m_bStoreFailed)
            Complain("网页大小无法保存：{0}", {error});
    }

  private:
    // The feed at most once a second: a burst of events is one write, the exit another.
    void WriteFeed(bool now) {
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
    bool Take(ProfileLock& lock, ProfileLock::Hold hold, const std::string& name) {
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

    // The list's rows (a shard's own only), with the sizes shards keep beside it.
    bool Load() {
        std::vector<UrlRow> rows;
        std::string error;
        if (!m_store->Load([&rows](UrlRow&& row) { rows.push_back(std::move(row)); }, error)) {
            Complain("无法读取列表：{0}", {error});
            return false;
        }
        if (m_args.nShards || m_args.bList)
            for (const std::string& problem :
                 ReadShardStates(m_core.Paths().dataDir, rows, m_args.nShard, m_args.nShards))
                Complain("分片的网页大小未能读取：{0}", {problem});
        for (const UrlRow& row : rows)
            if (!m_args.nShards || ShardOf(row.url, m_args.nShards) == m_args.nShard)
                AddStoredRow(m_session, row);
        return true;
    }

    int List() {
        for (const WatchRow& row : m_session.Rows()) {
            if (m_args.bJson)
                std::printf("%s\n", FormatRow(row).c_str());
            else
                std::printf("%s\t%d\t%s\n", Visible(OneLine(row.url)).c_str(), row.nStoredSize,
                            Visible(OneLine(row.note)).c_str());
        }
        return kExitQuiet;
    }

    // --add and --remove: the list changed as the window's dialog would change it.
    int Edit() {
        if (!m_args.remove.empty()) {
            std::vector<RowId> rows;
            for (const WatchRow& row : m_session.Rows())
                if (row.url == m_args.remove) rows.push_back(row.id);
            if (rows.empty()) {
                Complain("列表中没有网址为 {0} 的行", {Visible(m_args.remove)});
                return kExitErrors;
            }
            for (RowId id : rows) m_session.RemoveRow(id);
        } else {
            std::string url = m_args.add, note = m_args.note;
            CompareOptions compare;
            if (m_args.compare == "text") {
                compare.mode = CompareOptions::kText;
                compare.select = m_args.select;
                for (const std::string& rule : m_args.ignore)
                    compare.ignore += (compare.ignore.empty() ? "" : "\n") + rule;
            }
            std::string problem = RowProblem(url, note, compare);
            int interval = 0;
            if (problem.empty()) problem = IntervalProblem(m_args.pageInterval, interval);
            if (!problem.empty()) {
                Say(problem);
                return kExitErrors;
            }
            m_session.SetInterval(m_session.AddRow(url, note, 0, {}, {}, compare), interval);
        }
        std::string error;
        if (!SaveList(m_session, *m_store, error)) {
            Complain("无法保存列表：{0}", {error});
            return kExitErrors;
        }
        return kExitQuiet;
    }

    void TakeMailResults() {
        std::deque<MailResult> results;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            results.swap(m_mailResults);
        }
        for (const MailResult& result : results) {
            --m_nMailsOut;
            if (result.code == 0) continue;
            m_bErrors = true;
            Complain("报警邮件未发出：{0}", {result.reason});
        }
    }

    const Args& m_args;
    CCore& m_core;
    Settings m_settings;
    std::unique_ptr<UrlStore> m_store;
    std::unique_ptr<UrlStore> m_stateStore;  // a shard's own sizes and texts
    std::unique_ptr<TextKeeper> m_textKeeper;
    std::unique_ptr<AtomFeed> m_feed;
    std::chrono::steady_clock::time_point m_feedWritten{};
    bool m_bFeedFailing = false;
    WatchSession m_session;
    HookSender m_hooks{[](const std::string& text) { Say(text); }};
    MailTarget m_pMailTarget;
    WorkerGroup m_mailWorkers;
    std::mutex m_mutex;
    std::deque<MailResult> m_mailResults;
    int m_nMailsOut = 0;  // alert mails whose result has not come
    bool m_bChanged = false, m_bErrors = false, m_bStoreFailed = false;
};

}  // namespace

int main(int argc, char** argv) {
    Args args;
    const int done = Parse(argc, argv, args);
    if (done >= 0) return done;
    CCore core;
    g_pCore = &core;
    core.autoFileConfig();
    core.UseChosenLanguage();  // its messages, the mails and the failure reasons it prints
    if (!LanguageProblem().empty()) Complain("语言文件无法使用：{0}", {LanguageProblem()});
    if (!core.ConfigProblem().empty())
        Complain("设置文件 {0} 无法使用（{1}），本次使用默认设置。",
                 {core.ConfigPath(), core.ConfigProblem()});
    if ((!args.select.empty() || !args.ignore.empty()) && args.compare != "text") {
        Complain("--select 和 --ignore 只用于 --compare text");
        return kExitErrors;
    }
    const int status = HeadlessWatch(args, core).Run();
    g_pCore = nullptr;
    return status;
}
