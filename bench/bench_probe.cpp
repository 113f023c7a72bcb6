// Probe and watcher costs against a local server (bench_httpd, a process of its own).
//  (a) 50 watchers at interval 1 for 30 s: CPU per probe against a bare libcurl GET loop
//      in the same run; CPU of 50 sleeping watchers; peak memory.
//  (b) the fallback count of a 200 MiB body against `curl -s -o /dev/null`.
#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "PostTarget.h"
#include "RunFlag.h"
#include "WatchThread.h"
#include "WorkerGroup.h"

using namespace sentrel;

namespace {

std::atomic<long> g_probes{0};

class CountingWatch : public CWatchThread {
  public:
    using CWatchThread::CWatchThread;
    int GetPageSize(const char* url) override {
        int size = CWatchThread::GetPageSize(url);
        if (size == 5000) ++g_probes;
        return size;
    }
};

size_t Discard(char*, size_t size, size_t n, void*) {
    return size * n;
}

// CPU seconds per request of a plain GET loop: one handle, keep-alive, body read and discarded.
double ThreadCpu() {
    return bench::ThreadCpuSeconds();
}

double BareGetCpuPerRequest(const std::string& url, int requests, bool freshConnection) {
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, freshConnection ? 1L : 0L);
    double cpu0 = ThreadCpu();
    for (int i = 0; i < requests; ++i) curl_easy_perform(h);
    double cpu = ThreadCpu() - cpu0;
    curl_easy_cleanup(h);
    return cpu / requests;
}

double ProbeCpuPerRequest(const std::string& url, int requests) {
    CWatchThread probe;
    probe.OpenSession();
    double cpu0 = ThreadCpu();
    for (int i = 0; i < requests; ++i) probe.GetPageSize(url.c_str());
    return (ThreadCpu() - cpu0) / requests;
}

void Watchers(const std::string& url, int seconds) {
    auto flag = std::make_shared<CRunFlag>("RUN");
    auto target = std::make_shared<PostTarget>([](unsigned, std::intptr_t, std::intptr_t) {});
    double cpu0 = bench::ProcessCpuSeconds();
    for (int i = 0; i < 50; ++i) {
        auto* e = new WatchEntry{target, nullptr, i, 1, url, flag};
        (new CountingWatch(WatchThreadProc, e))->CreateThread();
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    flag->Set("STOP");
    Workers().WaitIdle(std::chrono::seconds(10));
    double cpu = bench::ProcessCpuSeconds() - cpu0;
    long probes = g_probes.load();
    std::printf("  50 watchers, interval 1, %d s: %ld probes, %.1f us CPU per probe (process)\n",
                seconds, probes, cpu / probes * 1e6);
}

void Sleepers(const std::string& url, int seconds) {
    auto flag = std::make_shared<CRunFlag>("RUN");
    std::atomic<int> sized{0};
    auto target =
        std::make_shared<PostTarget>([&](unsigned, std::intptr_t, std::intptr_t) { ++sized; });
    for (int i = 0; i < 50; ++i) {
        auto* e = new WatchEntry{target, nullptr, i, 3600, url, flag};
        (new CWatchThread(WatchThreadProc, e))->CreateThread();
    }
    while (sized < 50) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double cpu0 = bench::ProcessCpuSeconds(), t0 = bench::Now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = bench::ProcessCpuSeconds() - cpu0, wall = bench::Now() - t0;
    std::printf("  50 sleeping watchers: %.4f%% of one core over %d s\n", cpu / wall * 100,
                seconds);
    flag->Set("STOP");
    Workers().WaitIdle(std::chrono::seconds(5));
}

void Fallback(const std::string& url) {
    CWatchThread probe;
    probe.OpenSession();
    long rss0 = bench::StatusKb(0, "VmHWM:");
    double t0 = bench::Now(), cpu0 = ThreadCpu();
    int size = probe.GetPageTextLength(url.c_str());
    double ours = bench::Now() - t0, oursCpu = ThreadCpu() - cpu0;
    long rss1 = bench::StatusKb(0, "VmHWM:");

    double best = 1e9, bestCpu = 0;
    for (int i = 0; i < 3; ++i) {
        double c0 = bench::Now();
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        int code = -1;
        sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", "-o", "/dev/null", url}, &code);
        getrusage(RUSAGE_CHILDREN, &after);
        double t = bench::Now() - c0;
        if (t < best) {
            best = t;
            bestCpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                      (after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
                      (after.ru_utime.tv_usec - before.ru_utime.tv_usec + after.ru_stime.tv_usec -
                       before.ru_stime.tv_usec) /
                          1e6;
        }
    }
    std::printf(
        "  fallback count of 200 MiB: size %d, %.3f s (%.3f s CPU); curl -o /dev/null %.3f s "
        "(%.3f s CPU); time ratio %.2fx\n",
        size, ours, oursCpu, best, bestCpu, ours / best);
    std::printf("  peak memory growth during the count: %ld kB (body 204800 kB)\n", rss1 - rss0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string binDir = argc > 1 ? argv[1] : ".";
    int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int port = 0;
    pid_t httpd = bench::StartHttpd(binDir, port);
    const std::string page = "http://127.0.0.1:" + std::to_string(port) + "/page";
    const std::string big = "http://127.0.0.1:" + std::to_string(port) + "/big";

    std::printf("probe (a): CPU per request, single thread, 3000 requests each\n");
    double bare = BareGetCpuPerRequest(page, 3000, false);
    double bareFresh = BareGetCpuPerRequest(page, 3000, true);
    double probe = ProbeCpuPerRequest(page, 3000);
    std::printf("  bare libcurl GET, keep-alive:      %.1f us\n", bare * 1e6);
    std::printf("  bare libcurl GET, new connection:  %.1f us\n", bareFresh * 1e6);
    std::printf(
        "  watcher probe (GetPageSize):       %.1f us  -> %.2fx keep-alive GET, %.2fx "
        "new-connection GET\n",
        probe * 1e6, probe / bare, probe / bareFresh);
    Watchers(page, seconds);
    std::printf("  peak memory (VmHWM) with 50 watchers: %ld kB\n", bench::StatusKb(0, "VmHWM:"));
    Sleepers(page, 10);

    std::printf("probe (b):\n");
    Fallback(big);
    bench::Stop(httpd);
}
