// Rendered rows: one sentrel-watch --once pass over 20 loopback pages built by script
// against playwright-core (npm) driving the same Chromium over the same pages (a new
// context and page per URL, goto until the network is idle, content(), two at a time),
// measured alike: CPU of the whole process tree (every descendant reaped), wall time, and
// the tree's peak memory (proportional set size summed over its processes, sampled every
// 20 ms). Median of 3, the two taken in turn. Wall time ends with the tree's last process.
//   bench_render BIN_DIR BROWSER PLAYWRIGHT_DIR
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "BenchUtil.h"
#include "ScriptShop.h"
#include "store/UrlStore.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

constexpr int kPages = 20;

struct Run {
    double cpu = 0, wall = 0, peakMb = 0;
    bool ok = false;
};

double Seconds(const rusage& ru) {
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Runs a command to its end: CPU of it and of every process it started (this program is
// their subreaper: what a killed parent left is reaped here, and counted), wall time until
// the last of them ended, peak PSS of the tree.
Run Measure(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    Run run;
    const double start = bench::Now();
    const pid_t pid = Spawn(argv, env);
    std::atomic<bool> done{false};
    long peak = 0;
    std::thread sampler([&] {
        while (!done) {
            long sum = 0;
            for (pid_t p : bench::Tree(getpid()))  // the command's tree, and what it left here
                if (p != getpid()) sum += bench::PssKb(p);
            peak = std::max(peak, sum);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    int status = 0, mainStatus = 0;
    rusage ru{};
    pid_t reaped;
    while ((reaped = wait4(-1, &status, 0, &ru)) > 0) {
        run.cpu += Seconds(ru);
        if (reaped == pid) mainStatus = status;
    }
    run.wall = bench::Now() - start;
    done = true;
    sampler.join();
    run.peakMb = peak / 1024.0;
    run.ok = WIFEXITED(mainStatus) && WEXITSTATUS(mainStatus) <= 1;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_render BIN_DIR BROWSER PLAYWRIGHT_DIR\n");
        return 2;
    }
    const std::string bin = argv[1], browser = argv[2], playwright = argv[3];
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    TestHttpServer site([](TestServer::Conn& c, const std::string& head, int) {
        c.Write(Answer(head.substr(4, head.find(' ', 4) - 4)));
    });
    std::vector<std::string> urls;
    std::vector<UrlRow> rows;
    for (int i = 0; i < kPages; ++i) {
        urls.push_back(site.Url("/p/" + std::to_string(i)));
        rows.push_back({urls.back(), "", "0", "", "", "text", "#list", "", "", "", "1"});
    }
    TempDir home, temp;
    std::string error;
    const std::vector<std::string> env = {"SENTREL_HOME=" + home.Path(), "SENTREL_BROWSER=" + browser,
                                          "TMPDIR=" + temp.Path(), "BENCH_BROWSER=" + browser,
                                          "NODE_PATH=" + playwright + "/node_modules"};
    std::vector<std::string> node = {"/usr/bin/node", std::string(SENTREL_SOURCE_DIR) + "/bench/render_playwright.js"};
    node.insert(node.end(), urls.begin(), urls.end());

    std::printf("rendered rows: %d loopback pages built by script, %s\n", kPages, browser.c_str());
    bench::Pairs cpu, wall, memory;
    for (int round = 0; round < 3; ++round) {
        if (!UrlStore(home.File("user.mdb")).Save(rows, error)) {  // every pass reads its first texts
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const Run ours = Measure({bin + "/sentrel-watch", "--once"}, env);
        const Run theirs = Measure(node, env);
        if (!ours.ok || !theirs.ok) {
            std::fprintf(stderr, "a run failed (sentrel-watch %d, playwright %d)\n", ours.ok, theirs.ok);
            return 1;
        }
        cpu.Add(ours.cpu, theirs.cpu);
        wall.Add(ours.wall, theirs.wall);
        memory.Add(ours.peakMb, theirs.peakMb);
    }
    cpu.Print("CPU of the process tree", "sentrel-watch --once", "playwright-core", 1, "s");
    wall.Print("wall time", "sentrel-watch --once", "playwright-core", 1, "s");
    memory.Print("peak PSS of the tree", "sentrel-watch --once", "playwright-core", 1, "MB");
    return 0;
}
