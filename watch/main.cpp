// sentrel-watch: the window's list watched without a window, for servers, cron and
// lists of thousands of pages. Same profile, same rules, same mails; events on stdout.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "AlertMailThread.h"
#include "CCore.h"
#include "MultiWatcher.h"
#include "ProfileLock.h"
#include "ReminderMail.h"
#include "ThreadMessages.h"
#include "UrlStore.h"
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
            if (value.empty() || *end || n < 1 || n > 86400 * 365)
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

class HeadlessWatch {
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
        if (m_session.RowCount() == 0) {
            std::fprintf(stderr, "sentrel-watch: the list is empty (%s)\n",
                         m_store->Path().c_str());
            return kExitQuiet;
        }
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
        CMultiWatcher engine(options);
        if (!engine.Open()) {
            std::fprintf(stderr, "sentrel-watch: cannot open an HTTP session\n");
            return kExitErrors;
        }
        engine.SetWakeFd(g_wakePipe[0]);
        m_pTarget =
            std::make_shared<PostTarget>([this](unsigned msg, std::intptr_t w, std::intptr_t l) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_posts.push_back({msg, w, l});
            });
        m_session.SetWatcherStarter([&engine](WatchEntry* e) { return engine.Add(e); });
        m_session.Subscribe([this](const WatchEvent& e) { OnEvent(e); });

        WatchSession::RunOptions run;
        run.nInterval =
            m_args.nInterval ? m_args.nInterval : std::max(1, m_core.Get(keys::kInterval));
        // One pass has no second probe to confirm a failure with.
        run.nFailAfter = m_args.bOnce ? 1 : std::max(1, m_core.Get(keys::kFailAfter));
        run.target = m_pTarget;
        m_session.Start(run);

        auto lastSave = std::chrono::steady_clock::now();
        while (!g_quit && engine.LivePages() > 0 && !OutputClosed()) {
            engine.Turn(std::chrono::milliseconds(1000));
            char drain[64];
            while (read(g_wakePipe[0], drain, sizeof drain) > 0) {
            }
            Deliver();
            // Sizes are stored soon after they change, so a crash loses little.
            if (m_bDirty && std::chrono::steady_clock::now() - lastSave > std::chrono::seconds(5)) {
                Save();
                lastSave = std::chrono::steady_clock::now();
            }
        }
        m_session.Stop();
        engine.EndAll();
        Deliver();
        Save();
        // Mails under way: a pass for cron waits for them; a signal (also one that comes
        // while it waits) leaves them little time.
        const auto mailBound = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!g_quit && !OutputClosed() && std::chrono::steady_clock::now() < mailBound &&
               !Workers().WaitIdle(std::chrono::milliseconds(100))) {
        }
        Workers().WaitIdle(std::chrono::milliseconds(300));
        m_pTarget->Close();
        Deliver();
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

  private:
    struct Post {
        unsigned msg;
        std::intptr_t w, l;
    };

    bool Load() {
        std::string error;
        bool ok = m_store->Load(
            [this](UrlRow&& row) {
                const RowId id =
                    m_session.AddRow(row.url, row.title, AtoiClamped(row.kbsize.c_str()), row.etag,
                                     row.lastModified);
                m_reported[id] = m_session.Row(m_session.RowCount() - 1).nStoredSize;
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

    void Deliver() {
        std::deque<Post> posts;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            posts.swap(m_posts);
        }
        for (const Post& p : posts) {
            if (p.msg == WM_MAIL_RESULT) {
                --m_nMailsOut;
                if (p.l != 0) {
                    m_bErrors = true;
                    std::fprintf(stderr, "sentrel-watch: an alert mail was not sent: %s\n",
                                 LastMailFailure().c_str());
                }
                continue;
            }
            m_session.Deliver(p.msg, p.w, p.l);
        }
    }

    /// False when the line could not be written: nobody reads the output any more.
    bool Print(const WatchRow& row, WatchReport::Kind kind, long long oldSize, long long newSize,
               const std::string& reason) {
        WatchReport r;
        r.when = std::time(nullptr);
        r.kind = kind;
        r.url = OneLine(row.url);
        r.note = OneLine(row.note);
        r.nOldSize = oldSize;
        r.nNewSize = newSize;
        r.reason = reason;
        std::printf("%s\n", FormatReport(r, m_args.bJson).c_str());
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
        if (errno == EPIPE) g_outputClosed = true;
        std::clearerr(stdout);
        return false;
    }

    void OnEvent(const WatchEvent& e) {
        const int index = m_session.IndexOf(e.id);
        if (index < 0) return;
        const WatchRow& row = m_session.Row(index);
        switch (e.kind) {
            case WatchEvent::SizeStored:
                m_bDirty = true;
                if (m_reported[e.id] == 0) m_reported[e.id] = row.nStoredSize;
                break;
            case WatchEvent::Marked: {
                m_bChanged = true;
                // A change that could not be told is not kept as told: the next run tells it.
                if (!Print(row, WatchReport::kChanged, m_reported[e.id], row.nLastSize,
                           std::string()))
                    break;
                m_reported[e.id] = row.nLastSize;
                Mail(row, AlertMailRequest::kChanged);
                // Told once: a restart compares with the size reported here.
                m_session.KeepReportedSize(e.id);
                break;
            }
            case WatchEvent::Failing:
                m_bErrors = true;
                Print(row, WatchReport::kFailing, -1, -1, row.lastFailure.Reason());
                if (!m_args.bOnce && m_core.Get(keys::kMailOnFailure))
                    Mail(row, AlertMailRequest::kFailing);
                break;
            case WatchEvent::Recovered:
                Print(row, WatchReport::kRecovered, -1, -1, std::string());
                if (m_core.Get(keys::kMailOnFailure)) Mail(row, AlertMailRequest::kRecovered);
                break;
            default:
                break;
        }
    }

    void Mail(const WatchRow& row, AlertMailRequest::Kind kind) {
        if (!m_core.Get(keys::kAlertEmail)) return;
        AlertMailRequest request;
        request.hMainWnd = m_pTarget;
        request.nKind = kind;
        request.server =
            ResolveMailServer(m_core.Get(keys::kSmtpHost), m_core.Get(keys::kSmtpPort),
                              m_core.Get(keys::kSmtpSecurity), m_core.Get(keys::kMailFrom),
                              m_core.Get(keys::kSendUser));
        request.szEmailRcv = m_core.Get(keys::kEmailRcv);
        request.szSendUser = m_core.Get(keys::kSendUser);
        // Never read from the keyring here, in the loop that probes: the mail does it.
        if (!m_core.KnownPassword(request.szSendPwd))
            request.szKeyringServer = m_core.KeyringServer();
        request.szUrl = row.url;
        request.szReason = row.lastFailure.Reason();
        if (StartAlertMailThread(request)) {
            ++m_nMailsOut;
        } else {
            m_bErrors = true;
            std::fprintf(stderr, "sentrel-watch: no thread for an alert mail\n");
        }
    }

    void Save() {
        m_bDirty = false;
        std::vector<UrlRow> rows;
        rows.reserve(m_session.Rows().size());
        for (const WatchRow& row : m_session.Rows())
            rows.push_back(
                {row.url, row.note, std::to_string(row.nStoredSize), row.etag, row.lastModified});
        std::string error;
        m_bStoreFailed = false;
        if (m_store->Save(rows, error)) return;
        m_bStoreFailed = true;
        std::fprintf(stderr, "sentrel-watch: the sizes could not be stored: %s\n", error.c_str());
    }

    const Args& m_args;
    CCore& m_core;
    std::unique_ptr<UrlStore> m_store;
    WatchSession m_session;
    std::map<RowId, long long> m_reported;  // the size each page's last report ended at
    PostTargetPtr m_pTarget;
    std::mutex m_mutex;
    std::deque<Post> m_posts;
    bool m_bDirty = false, m_bChanged = false, m_bErrors = false, m_bStoreFailed = false;
    int m_nMailsOut = 0;  // alert mails whose result has not come
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
