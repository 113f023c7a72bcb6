// sentrel-watch on servers, against bench_httpd on loopback:
//  (d) 2,000 pages of a day's interval: what the watcher costs between its probes (CPU
//      and wake-ups a minute after the first pass), against the same pages at 10 s;
//  (e) webhooks: from the event on standard output to its POST at a receiver, 500 events;
//  (f) shards: 3 processes over 3,000 pages, one pass each, against one process.
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "BenchUtil.h"
#include "store/UrlStore.h"
#include "testsupport/HookReceiver.h"
#include "testsupport/TempDir.h"

using namespace std::chrono_literals;

namespace {

std::string g_binDir;
std::string g_base;

void List(const sentrel::test::TempDir& home, int pages, const std::string& size,
          const std::string& interval) {
    std::vector<sentrel::UrlRow> rows;
    for (int i = 0; i < pages; ++i) {
        sentrel::UrlRow row{g_base + "/page?" + std::to_string(i), "", size};
        row.interval = interval;
        rows.push_back(row);
    }
    std::string error;
    sentrel::UrlStore(home.File("user.mdb")).Save(rows, error);
}


long Switches(pid_t pid) {
    return bench::StatusKb(pid, "voluntary_ctxt_switches") +
           bench::StatusKb(pid, "nonvoluntary_ctxt_switches");
}

// CPU seconds and wake-ups per minute of a watcher over `seconds`, after `settle` seconds.
void Idle(const char* what, const std::string& interval) {
    sentrel::test::TempDir home;
    List(home, 2000, "5000", interval);
    std::ofstream(home.File("sentrel.ini")) << "interval=60\n";
    const pid_t pid = sentrel::test::Spawn({g_binDir + "/sentrel-watch"}, {"SENTREL_HOME=" + home.Path()});
    std::this_thread::sleep_for(10s);  // the first pass, and the saves after it
    const double cpu0 = bench::CpuOf(pid);
    const long woke0 = Switches(pid);
    std::this_thread::sleep_for(30s);
    const double cpu = bench::CpuOf(pid) - cpu0;
    const long woke = Switches(pid) - woke0;
    bench::Stop(pid);
    std::printf("  %s: %.3f s CPU and %ld wake-ups a minute, peak RSS of the pass ignored, load %.2f\n",
                what, cpu * 2, woke * 2, bench::Load());
}

void Hooks() {
    sentrel::test::HookReceiver receiver;
    sentrel::test::TempDir home;
    List(home, 500, "40", "");  // every page changed since its stored size
    std::ofstream(home.File("sentrel.ini")) << "webhook=" << receiver.Url() << "\n";
    int fd = -1;
    const pid_t pid = sentrel::test::SpawnReading({g_binDir + "/sentrel-watch", "--once", "--json"},
                                                  &fd, {"SENTREL_HOME=" + home.Path()});
    std::map<std::string, std::chrono::steady_clock::time_point> printed;
    std::string line;
    while (sentrel::test::ReadLineFrom(fd, line)) printed[line] = std::chrono::steady_clock::now();
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<double> latency;
    for (const auto& post : receiver.Posts()) {
        auto it = printed.find(post.body);
        if (it != printed.end())
            latency.push_back(std::chrono::duration<double, std::milli>(post.when - it->second).count());
    }
    if (latency.empty()) {
        std::printf("  hooks: no event reached the receiver\n");
        return;
    }
    const bench::Spread s = bench::SpreadOf(latency);
    std::printf("  %zu events printed, %zu POSTs received (a POST may come before its line is "
                "read): median %.2f ms, largest %.1f ms after the line; exit %d, load %.2f\n",
                printed.size(), receiver.Posts().size(), s.median, s.max, WEXITSTATUS(status),
                bench::Load());
}

// Wall time and CPU of `shards` processes, together, for one pass over the list.
void Pass(int shards, double& wall, double& cpu) {
    sentrel::test::TempDir home;
    List(home, 3000, "5000", "");
    const double c0 = [] {
        rusage ru{};
        getrusage(RUSAGE_CHILDREN, &ru);
        return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    }();
    const double t0 = bench::Now();
    std::vector<pid_t> pids;
    for (int i = 0; i < shards; ++i) {
        std::vector<std::string> argv = {g_binDir + "/sentrel-watch", "--once"};
        if (shards > 1) argv.insert(argv.end(), {"--shard", std::to_string(i) + "/" + std::to_string(shards)});
        pids.push_back(sentrel::test::Spawn(argv, {"SENTREL_HOME=" + home.Path()}));
    }
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
    wall = bench::Now() - t0;
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6 - c0;
}

}  // namespace

int main(int argc, char** argv) {
    g_binDir = argc > 1 ? argv[1] : ".";
    int port = 0;
    const pid_t httpd = bench::StartHttpd(g_binDir, port);
    g_base = "http://127.0.0.1:" + std::to_string(port);
    std::printf("servers (d): 2,000 pages between probes\n");
    Idle("a day's interval (--page-interval 86400)", "86400");
    Idle("the baseline, 10 s", "10");
    std::printf("servers (e): webhooks, 500 changes in one pass\n");
    Hooks();
    std::printf("servers (f): one pass over 3,000 pages\n");
    double wall1 = 0, cpu1 = 0, wall3 = 0, cpu3 = 0;
    Pass(1, wall1, cpu1);
    Pass(3, wall3, cpu3);
    std::printf("  one process %.2f s, %.2f s CPU; three shards %.2f s, %.2f s CPU in all -> "
                "%.2fx the time, %.2fx the CPU, load %.2f\n",
                wall1, cpu1, wall3, cpu3, wall3 / wall1, cpu3 / cpu1, bench::Load());
    bench::Stop(httpd);
}
