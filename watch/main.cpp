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
#include "CCore.h"
#include "MultiWatcher.h"
#include "ProfileLock.h"
#include "TextRules.h"
#include "UrlStore.h"
#include "WatchList.h"
#include "WatchOutput.h"
#include "WatchSession.h"
#include "WorkerGroup.h"

using namespace sentrel;

namespace {

constexpr int kExitQuiet = 0, kExitChanged = 1, kExitErrors = 2, kExitProfileTaken = 3;

const char kUsage[] =
    "usage: sentrel-watch [--once] [--interval N] [--json] [--list] [--help]\n"
    "Watches every page of the Sentrel list (the same profile as the window) and prints\n"
    "one line per event: a page changed, began to fail, or recovered.\n"
    "  --once        one pass over the list, then exit: 0 nothing changed, 1 something\n"
    "                changed, 2 errors (a page failed, the list could not be read or\n"
    "                stored, a mail was not sent), 3 the profile is in use\n"
    "  --interval N  seconds between probes of a page, instead of the stored interval\n"
    "  --json        one JSON object per event: time, url, note, kind, old_size,\n"
    "                new_size, reason\n"
    "  --list        print the list (URL, stored size, note) and exit\n"
    "SIGTERM, SIGINT or SIGHUP ends it within a second, with the sizes stored; so does\n"
    "the end of its output (sentrel-watch | head -1).\n";

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

struct Args {
    bool bOnce = false, bJson = false, bList = false, bHelp = false;
    int nInterval = 0;
    std::string error;
};

Args Parse(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--once")
            a.bOnce = true;
        else if (arg == "--json")
            a.bJson = true;
        else if (arg == "--list")
            a.bList = true;
        else if (arg == "--help" || arg == "-h")
            a.bHelp = true;
        else if (arg == "--interval" || arg.rfind("--interval=", 0) == 0) {
            std::string value = arg == "--interval" ? (i + 1 < argc ? argv[++i] : "")
                                                    : arg.substr(std::strlen("--interval="));
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || !keys::kInterval.InBounds(n))
                a.error = "--interval wants a number of seconds, at least 1";
            else
                a.nInterval = static_cast<int>(n);
        } else {
            a.error = "unknown option " + arg;
        }
    }
    return a;
}

// Text that goes to one output line: line breaks and other control bytes become blanks.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
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
        if (!Load()) return kExitErrors;
        if (m_args.bList) return List();

        ProfileLock lock;
        switch (lock.Acquire(paths.dataDir)) {
            case ProfileLock::kTaken:
                std::fprintf(stderr,
                             "sentrel-watch: the profile %s is in use by another Sentrel program\n",
                             paths.dataDir.c_str());
                return kExitProfileTaken;
            case ProfileLock::kFailed:
                // Two programs must never write one list: without the lock, no run.
                std::fprintf(stderr, "sentrel-watch: the profile %s cannot be locked: %s\n",
                             paths.dataDir.c_str(), lock.Problem().c_str());
                return kExitProfileTaken;
            case ProfileLock::kAcquired:
            case ProfileLock::kUnavailable:
                break;
        }
        m_settings = m_core.Read();
        AlertPolicy::Options rules;
        rules.bOnePass = m_args.bOnce;
        rules.bKeepReportedSize = true;
        rules.bClampInterval = true;
        rules.saveDelay = std::chrono::seconds(5);
        AlertPolicy policy(m_session, m_settings, rules);
        if (policy.CanStart(m_args.nInterval) == AlertPolicy::kNoRows) {
            std::fprintf(stderr, "sentrel-watch: the list is empty (%s)\n",
                         m_store->Path().c_str());
            return kExitQuiet;
        }
        policy.SetReporter(this);
        policy.SetMailer(this);
        policy.SetListKeeper(this);
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
            std::fprintf(stderr, "sentrel-watch: cannot open an HTTP session\n");
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
        }
        m_session.Stop();
        engine.EndAll();
        policy.SaveNow();
        // Mails under way: a pass for cron waits for them; a signal (also one that comes
        // while it waits) leaves them little time.
        const auto mailBound = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!g_quit && !OutputClosed() && std::chrono::steady_clock::now() < mailBound &&
               !m_mailWorkers.WaitIdle(std::chrono::milliseconds(100))) {
        }
        m_mailWorkers.JoinAll(std::chrono::milliseconds(300));
        m_pMailTarget->Close();
        TakeMailResults();
        if (m_nMailsOut > 0) {
            m_bErrors = true;
            std::fprintf(stderr, "sentrel-watch: %d alert mail%s not confirmed before the exit\n",
                         m_nMailsOut, m_nMailsOut == 1 ? " was" : "s were");
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
        if (report.kind == AlertReport::kChanged) m_bChanged = true;
        if (report.kind == AlertReport::kFailing) m_bErrors = true;
        WatchReport r;
        r.when = report.when;
        r.kind = static_cast<WatchReport::Kind>(report.kind);
        r.url = OneLine(report.url);
        r.note = OneLine(report.note);
        r.nOldSize = report.nOldSize;
        r.nNewSize = report.nNewSize;
        r.reason = report.reason;
        std::printf("%s\n", FormatReport(r, m_args.bJson).c_str());
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
        if (errno == EPIPE) g_outputClosed = true;
        std::clearerr(stdout);
        return false;
    }

    void Send(const AlertMail& mail) override {
        AlertMailRequest request = AlertMailOf(
            m_settings, static_cast<AlertMailRequest::Kind>(mail.kind), mail.url, mail.reason);
        request.hMainWnd = m_pMailTarget;
        if (StartAlertMailThread(request, m_mailWorkers)) {
            ++m_nMailsOut;
        } else {
            m_bErrors = true;
            std::fprintf(stderr, "sentrel-watch: no thread for an alert mail\n");
        }
    }

    void Save() override {
        std::string error;
        m_bStoreFailed = !SaveList(m_session, *m_store, error);
        if (m_bStoreFailed)
            std::fprintf(stderr, "sentrel-watch: the sizes could not be stored: %s\n",
                         error.c_str());
    }

  private:
    bool Load() {
        std::string error;
        bool ok = m_store->Load(
            [this](UrlRow&& row) {
                m_session.AddRow(row.url, row.title, AtoiClamped(row.kbsize.c_str()), row.etag,
                                 row.lastModified);
            },
            error);
        if (!ok) std::fprintf(stderr, "sentrel-watch: cannot read the list: %s\n", error.c_str());
        return ok;
    }

    int List() {
        for (const WatchRow& row : m_session.Rows())
            std::printf("%s\t%d\t%s\n", OneLine(row.url).c_str(), row.nStoredSize,
                        OneLine(row.note).c_str());
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
            std::fprintf(stderr, "sentrel-watch: an alert mail was not sent: %s\n",
                         result.reason.c_str());
        }
    }

    const Args& m_args;
    CCore& m_core;
    Settings m_settings;
    std::unique_ptr<UrlStore> m_store;
    WatchSession m_session;
    MailTarget m_pMailTarget;
    WorkerGroup m_mailWorkers;
    std::mutex m_mutex;
    std::deque<MailResult> m_mailResults;
    int m_nMailsOut = 0;  // alert mails whose result has not come
    bool m_bChanged = false, m_bErrors = false, m_bStoreFailed = false;
};

}  // namespace

int main(int argc, char** argv) {
    const Args args = Parse(argc, argv);
    if (args.bHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!args.error.empty()) {
        std::fprintf(stderr, "sentrel-watch: %s\n%s", args.error.c_str(), kUsage);
        return kExitErrors;
    }
    CCore core;
    g_pCore = &core;
    core.autoFileConfig();
    if (!core.ConfigProblem().empty())
        std::fprintf(stderr, "sentrel-watch: %s\n", core.ConfigProblem().c_str());
    const int status = HeadlessWatch(args, core).Run();
    g_pCore = nullptr;
    return status;
}
