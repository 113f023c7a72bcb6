// sentrel-watch: the window's list watched without a window, for servers, cron and
// lists of thousands of pages. Same profile, same rules, same mails; events on stdout.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "base/Translate.h"
#include "platform/PageAccess.h"
#include "support/CCore.h"
#include "watch/HeadlessWatch.h"
#include "watch/HistoryCommands.h"
#include "watch/ListCommands.h"
#include "watch/WatchArgs.h"
#include "watch/WatchProfile.h"

using namespace sentrel;

namespace {

int g_wakePipe[2] = {-1, -1};
std::atomic<bool> g_quit{false};

void OnSignal(int) {
    g_quit = true;
    const char byte = 1;
    if (write(g_wakePipe[1], &byte, 1) < 0) {
    }
}

// The command the arguments name, on the profile each opens alike.
int Run(const Args& args, CCore& core) {
    WatchProfile profile(args, core);
    if (args.bList) return profile.Load(ListFile::Shards::Read) ? ListRows(profile, args) : kExitErrors;
    if (!args.history.empty()) return History(profile.List(), args);
    if (!args.diff.empty()) return Diff(profile.List(), args);
    if (!profile.Lock()) return kExitProfileTaken;
    // Shards that ran before left their sizes beside the list: whoever holds it alone takes
    // them back; a shard reads them over it.
    const bool read = profile.Load(args.nShards ? ListFile::Shards::Read : ListFile::Shards::Fold);
    if (!args.add.empty() || !args.remove.empty()) return EditList(profile, args);
    if (!read) return kExitErrors;
    return HeadlessWatch(args, core, profile, g_wakePipe, g_quit).Run();
}

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
    if (const std::string proxy = ProgramProxyProblem(core.Read().m_strProxy); !proxy.empty()) Say(proxy);
    CompareOptions::Mode mode = CompareOptions::kSize;
    CompareOptions::ModeNamed(args.compare, mode);
    const bool render = args.bRender || !args.session.empty();
    if (render && args.compare.empty()) mode = CompareOptions::kText;  // implied
    if (render && mode != CompareOptions::kText) {
        Complain(args.bRender ? "--render 只用于 --compare text" : "--session 只用于 --compare text");
        return kExitErrors;
    }
    if ((!args.select.empty() || !args.ignore.empty() || !args.alertIf.empty()) &&
        mode != CompareOptions::kText) {
        Complain("--select、--ignore 和 --alert-if 只用于 --compare text");
        return kExitErrors;
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
    const int status = Run(args, core);
    g_pCore = nullptr;
    return status;
}
