// sentrel-watch at scale against bench_httpd on loopback: thousands of pages, one process.
//  (a) 2,000 pages at interval 10: CPU per probe against the curl tool fetching the same
//      2,000 URLs in one process (per URL), threads, peak resident memory;
//  (b) the same pages with an ETag: how many probes cost a 304, and its bytes;
//  (c) with --large: 10,000 pages at interval 60.
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "BenchUtil.h"
#include "store/UrlStore.h"
#include "testsupport/TempDir.h"

using namespace std::chrono_literals;

namespace {

std::string g_binDir;
std::string g_base;

long Fetch(const std::string& url) {
    return std::atol(sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", url}).c_str());
}

double ChildCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::vector<std::string> Urls(const std::string& path, int n) {
    std::vector<std::string> urls;
    for (int i = 0; i < n; ++i) urls.push_back(g_base + path + "?" + std::to_string(i));
    return urls;
}

// CPU of `curl -K list` fetching every URL once, per URL (median of three).
double CurlCpuPerUrl(const std::vector<std::string>& urls, const sentrel::test::TempDir& dir) {
    const std::string config = dir.File("curl.cfg");
    std::ofstream out(config);
    for (const std::string& u : urls) out << "url = \"" << u << "\"\noutput = \"/dev/null\"\n";
    out.close();
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        const double c0 = ChildCpuSeconds();
        sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", "-K", config});
        runs.push_back((ChildCpuSeconds() - c0) / urls.size());
    }
    return bench::SpreadOf(runs).median;
}

struct WatchRun {
    long probes = 0;
    double cpuPerProbe = 0;
    long threadsMax = 0;
    long peakKb = 0;
    double stopSeconds = 0;
};

WatchRun RunWatch(const std::vector<std::string>& urls, int interval, int seconds,
                  const sentrel::test::TempDir& home) {
    std::vector<sentrel::UrlRow> rows;
    for (const std::string& u : urls) rows.push_back({u, "", "5000"});
    std::string error;
    sentrel::UrlStore(home.File("user.mdb")).Save(rows, error);
    std::ofstream(home.File("sentrel.ini")) << "interval=" << interval << "\n";
    const long served0 = Fetch(g_base + "/count");
    const pid_t pid =
        sentrel::test::Spawn({g_binDir + "/sentrel-watch"}, {"SENTREL_HOME=" + home.Path()});
    WatchRun run;
    for (int s = 0; s < seconds * 4; ++s) {
        std::this_thread::sleep_for(250ms);
        run.threadsMax = std::max(run.threadsMax, bench::StatusKb(pid, "Threads"));
        run.peakKb = std::max(run.peakKb, bench::StatusKb(pid, "VmHWM"));
    }
    run.probes = Fetch(g_base + "/count") - served0;
    const double t0 = bench::Now();
    kill(pid, SIGTERM);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    run.stopSeconds = bench::Now() - t0;
    const double cpu =
        ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    run.cpuPerProbe = cpu / std::max(1L, run.probes);
    return run;
}

void Scale(int pages, int interval, int seconds, const char* path) {
    sentrel::test::TempDir home;
    const std::vector<std::string> urls = Urls(path, pages);
    const long n304 = Fetch(g_base + "/count304");
    WatchRun run = RunWatch(urls, interval, seconds, home);
    const double curl = CurlCpuPerUrl(urls, home);
    std::printf(
        "  %d pages of %s at interval %d, %d s: %ld probes, threads at most %ld, peak "
        "RSS %.1f MB, ended %.0f ms after SIGTERM, load %.2f\n",
        pages, path, interval, seconds, run.probes, run.threadsMax, run.peakKb / 1024.0,
        run.stopSeconds * 1e3, bench::Load());
    std::printf("    CPU per probe %.1f us, curl per URL %.1f us -> %.2fx\n", run.cpuPerProbe * 1e6,
                curl * 1e6, run.cpuPerProbe / curl);
    std::istringstream answered(
        sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", g_base + "/count304"}));
    long after = 0, bytes = 0;
    answered >> after >> bytes;
    if (after > n304)
        std::printf("    %ld of %ld requests answered 304, %ld bytes each (headers only)\n",
                    after - n304, run.probes, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    g_binDir = argc > 1 ? argv[1] : ".";
    const bool large = argc > 2 && std::string(argv[2]) == "--large";
    int port = 0;
    const pid_t httpd = bench::StartHttpd(g_binDir, port);
    g_base = "http://127.0.0.1:" + std::to_string(port);
    std::printf("watch (a): 2,000 pages with Content-Length\n");
    Scale(2000, 10, 32, "/page");
    std::printf("watch (b): 2,000 unchanged pages with an ETag\n");
    Scale(2000, 10, 32, "/etag");
    if (large) {
        std::printf("watch (c): 10,000 pages at interval 60\n");
        Scale(10000, 60, 65, "/page");
    }
    bench::Stop(httpd);
}
