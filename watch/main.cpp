// sentrel-watch: the window's list watched without a window, for servers, cron and
// lists of thousands of pages. Same profile, same rules, same mails; events on stdout.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "CCore.h"
#include "HeadlessWatch.h"
#include "Translate.h"
#include "WatchArgs.h"

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
    CompareOptions::Mode mode = CompareOptions::kSize;
    CompareOptions::ModeNamed(args.compare, mode);
    if (args.bRender && args.compare.empty()) mode = CompareOptions::kText;  // implied
    if (args.bRender && mode != CompareOptions::kText) {
        Complain("--render 只用于 --compare text");
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
    const int status = HeadlessWatch(args, core, g_wakePipe, g_quit).Run();
    g_pCore = nullptr;
    return status;
}
