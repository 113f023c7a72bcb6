// sentrel-watch at scale: 100,000 pages (interval 600 s, a loopback port that refuses every
// connection) as two shards on one profile. For each shard: the first pass (wall time and
// CPU, and CPU a refused probe), then CPU a minute over the minutes after it, peak RSS and
// RSS a row, and how long SIGTERM takes to be answered, states stored.
//   bench_scale BIN_DIR [PAGES] [MINUTES]
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "BenchUtil.h"
#include "store/UrlStore.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace std::chrono_literals;

namespace {


struct Shard {
    pid_t pid = -1;
    double passWall = -1, passCpu = -1;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it is measured
    const std::string bin = argc > 1 ? argv[1] : ".";
    const int pages = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int minutes = argc > 3 ? std::atoi(argv[3]) : 10;
    sentrel::test::RefusingPort refused;
    sentrel::test::TempDir home;
    std::vector<sentrel::UrlRow> rows;
    rows.reserve(static_cast<std::size_t>(pages));
    for (int i = 0; i < pages; ++i)
        rows.push_back({"http://127.0.0.1:" + std::to_string(refused.Port()) + "/page/" + std::to_string(i),
                        "", "5000"});
    std::string error;
    if (!sentrel::UrlStore(home.File("user.mdb")).Save(rows, error)) {
        std::printf("bench_scale: %s\n", error.c_str());
        return 1;
    }
    std::ofstream(home.File("sentrel.ini")) << "interval=600\nfailafter=1\n";
    std::printf("scale: %d pages, interval 600 s, every connection refused, as two shards\n", pages);
    Shard shards[2];
    const double start = bench::Now();
    for (int i = 0; i < 2; ++i)
        shards[i].pid = sentrel::test::Spawn({bin + "/sentrel-watch", "--shard", std::to_string(i) + "/2"},
                                             {"SENTREL_HOME=" + home.Path()});
    // A pass ends when a shard's CPU stands still for two seconds.
    double last[2] = {0, 0}, still[2] = {0, 0};
    while (shards[0].passWall < 0 || shards[1].passWall < 0) {
        std::this_thread::sleep_for(500ms);
        for (int i = 0; i < 2; ++i) {
            if (shards[i].passWall >= 0) continue;
            const double cpu = bench::CpuOf(shards[i].pid);
            still[i] = cpu - last[i] < 0.02 ? still[i] + 0.5 : 0;
            last[i] = cpu;
            if (still[i] >= 2 && cpu > 0.5) {
                shards[i].passWall = bench::Now() - start - 2;
                shards[i].passCpu = cpu;
            }
        }
    }
    long rssSum = 0;
    for (int i = 0; i < 2; ++i) {
        const long rss = bench::StatusKb(shards[i].pid, "VmRSS");
        rssSum += rss;
        std::printf("  shard %d/2: first pass %.1f s, %.1f s CPU (%.3f ms a refused probe), RSS %.1f MB\n",
                    i, shards[i].passWall, shards[i].passCpu, shards[i].passCpu * 1000 / (pages / 2.0),
                    rss / 1024.0);
    }
    const double cpu0[2] = {bench::CpuOf(shards[0].pid), bench::CpuOf(shards[1].pid)};
    std::this_thread::sleep_for(std::chrono::minutes(minutes));
    long peakSum = 0;
    for (int i = 0; i < 2; ++i) {
        const double perMinute = (bench::CpuOf(shards[i].pid) - cpu0[i]) / minutes;
        const long peak = bench::StatusKb(shards[i].pid, "VmHWM"), rss = bench::StatusKb(shards[i].pid, "VmRSS");
        peakSum += peak;
        std::printf("  shard %d/2 over %d minutes after it: %.2f s CPU a minute (%.1f %% of a core), "
                    "RSS %.1f MB, peak %.1f MB (%.2f KB a row)\n",
                    i, minutes, perMinute, perMinute / 60 * 100, rss / 1024.0, peak / 1024.0,
                    peak / (pages / 2.0));
    }
    for (int i = 0; i < 2; ++i) {
        const double t0 = bench::Now();
        kill(shards[i].pid, SIGTERM);
        int status = 0;
        waitpid(shards[i].pid, &status, 0);
        std::printf("  shard %d/2: SIGTERM answered in %.2f s, exit %d\n", i, bench::Now() - t0,
                    WEXITSTATUS(status));
    }
    std::printf("  both shards: %.1f MB after the pass, peak %.1f MB together, load %.2f\n",
                rssSum / 1024.0, peakSum / 1024.0, bench::Load());
    return 0;
}
