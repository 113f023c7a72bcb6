// Probe and watcher costs against a local server (bench_httpd, a process of its own).
// Every A/B figure is taken in interleaved pairs (A B A B ...), shown as medians with
// min-max and as ratios pair by pair, with the machine's load next to it.
//  (a) CPU per probe of a small page with Content-Length, against a plain libcurl GET
//      with default connection handling; the new-connection GET shown apart; HTTPS with
//      and without the TLS session cache.
//  (b) one pass of 50 watchers over 50 pages against `curl -s -o /dev/null` fetching the
//      same 50 URLs in one process, and `sentrel-probe` given them (connections counted),
//      and given one URL.
//  (c) sleeping watchers: 50 and 500 at interval 60.
//  (d) pages without a length (chunked, close-delimited) through the watcher's own path,
//      against `curl -s -o /dev/null`.
#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "BenchWatchers.h"
#include "base/WorkerGroup.h"
#include "probe/RunFlag.h"
#include "probe/WatchThread.h"

using namespace sentrel;
using namespace std::chrono_literals;

namespace {

constexpr int kPairs = 7;

size_t Discard(char*, size_t size, size_t n, void*) {
    return size * n;
}

long Fetch(const std::string& url) {
    std::string body = sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", url});
    return std::atol(body.c_str());
}

double ChildCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU of a child program run to its end.
double RunCpu(const std::vector<std::string>& argv) {
    double c0 = ChildCpuSeconds();
    sentrel::test::RunAndCapture(argv);
    return ChildCpuSeconds() - c0;
}

// A plain GET loop as users would write it: one handle, libcurl's default connection
// handling (kept alive), body read and discarded. Thread CPU per request.
double BareGet(const std::string& url, int requests, bool freshConnection) {
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, freshConnection ? 1L : 0L);
    if (const char* ca = std::getenv("CURL_CA_BUNDLE")) curl_easy_setopt(h, CURLOPT_CAINFO, ca);
    curl_easy_perform(h);  // the first connection is not what is measured
    double cpu0 = bench::ThreadCpuSeconds();
    for (int i = 0; i < requests; ++i) curl_easy_perform(h);
    double cpu = bench::ThreadCpuSeconds() - cpu0;
    curl_easy_cleanup(h);
    return cpu / requests;
}

class Probe : public CWatchThread {
  public:
    /// Turns libcurl's TLS session cache off, to show what it saves.
    void NoTlsSessionCache() { curl_easy_setopt(m_pSession, CURLOPT_SSL_SESSIONID_CACHE, 0L); }
};

double ProbeCpu(const std::string& url, int requests, bool tlsCache = true) {
    Probe probe;
    probe.OpenSession();
    if (!tlsCache) probe.NoTlsSessionCache();
    probe.GetPageSize(url.c_str());
    double cpu0 = bench::ThreadCpuSeconds();
    for (int i = 0; i < requests; ++i) probe.GetPageSize(url.c_str());
    return (bench::ThreadCpuSeconds() - cpu0) / requests;
}

std::vector<std::string> Urls(const std::string& base, int n) {
    std::vector<std::string> urls;
    for (int i = 0; i < n; ++i) urls.push_back(base + "?" + std::to_string(i));
    return urls;
}

void ProbeCommandPass(const std::string& binDir, const std::string& base, const std::string& page,
                      int count = 50);

void OnePass(const std::string& binDir, const std::string& base, const std::string& page) {
    const std::vector<std::string> urls = Urls(page, 50);
    bench::Watchers watchers(page, 50, 1, true);
    std::this_thread::sleep_for(1500ms);  // every watcher past its first connection
    bench::Pairs pairs;
    std::vector<std::string> curlArgs = {"/usr/bin/curl", "-s"};
    for (const std::string& u : urls) {
        curlArgs.push_back("-o");
        curlArgs.push_back("/dev/null");
        curlArgs.push_back(u);
    }
    for (int i = 0; i < kPairs; ++i) {
        long served0 = Fetch(base + "/count");
        double cpu0 = bench::ProcessCpuSeconds();
        std::this_thread::sleep_for(3s);
        double cpu = bench::ProcessCpuSeconds() - cpu0;
        double passes = (Fetch(base + "/count") - served0) / 50.0;
        pairs.Add(cpu / passes, RunCpu(curlArgs));
    }
    watchers.Stop();
    pairs.Print("one pass over 50 pages", "50 watchers", "curl, one process", 1e3, "ms CPU");
    ProbeCommandPass(binDir, base, page);
}

// sentrel-probe given `count` URLs of the page, against curl given the same, and the
// connections the server saw for one run. Each figure is the mean of several runs: a
// start-up is a few milliseconds, near the kernel's accounting of a child's CPU.
void ProbeCommandPass(const std::string& binDir, const std::string& base, const std::string& page,
                      int count) {
    const std::vector<std::string> urls = Urls(page, count);
    std::vector<std::string> curlArgs = {"/usr/bin/curl", "-s"};
    for (const std::string& u : urls) {
        curlArgs.push_back("-o");
        curlArgs.push_back("/dev/null");
        curlArgs.push_back(u);
    }
    bench::Pairs probeCmd;
    std::vector<std::string> probeArgs = {binDir + "/sentrel-probe"};
    probeArgs.insert(probeArgs.end(), urls.begin(), urls.end());
    const int runs = count == 1 ? 40 : 8;
    auto mean = [&](const std::vector<std::string>& argv) {
        double cpu = 0;
        for (int r = 0; r < runs; ++r) cpu += RunCpu(argv);
        return cpu / runs;
    };
    long connections = 0;
    for (int i = 0; i < kPairs; ++i) {
        long c0 = Fetch(base + "/connections");
        RunCpu(probeArgs);
        connections = Fetch(base + "/connections") - c0 - 1;  // less the count's own
        probeCmd.Add(mean(probeArgs), mean(curlArgs));
    }
    const std::string what =
        "sentrel-probe with " +
        (count == 1 ? std::string("one URL") : std::to_string(count) + " URLs") + " of " +
        page.substr(base.size());
    probeCmd.Print(what.c_str(), "sentrel-probe", "curl", 1e3, "ms CPU");
    std::printf("  connections the server saw for one sentrel-probe run: %ld\n", connections);
}

void Sleepers(const std::string& url, int count, int seconds) {
    std::atomic<int> sized{0};
    bench::Watchers watchers(url, count, 60, false, [&](const WatchMessage&) { ++sized; });
    while (sized < count) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(500ms);
    double cpu0 = bench::ProcessCpuSeconds(), t0 = bench::Now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = bench::ProcessCpuSeconds() - cpu0, wall = bench::Now() - t0;
    std::printf("  %d sleeping watchers at interval 60: %.4f%% of one core over %d s, load %.2f\n",
                count, cpu / wall * 100, seconds, bench::Load());
    watchers.Stop();
}

void NoLength(const std::string& url, const char* what) {
    bench::Pairs wall, cpu;
    int size = 0;
    for (int i = 0; i < kPairs; ++i) {
        CWatchThread probe;
        probe.OpenSession();
        double t0 = bench::Now(), c0 = bench::ThreadCpuSeconds();
        size = probe.GetPageSize(url.c_str());  // headers, then the body counted
        double ours = bench::Now() - t0, oursCpu = bench::ThreadCpuSeconds() - c0;
        double t1 = bench::Now();
        double curlCpu = RunCpu({"/usr/bin/curl", "-s", "-o", "/dev/null", url});
        wall.Add(ours, bench::Now() - t1);
        cpu.Add(oursCpu, curlCpu);
    }
    std::printf("  %s, 200 MiB without a length, measured size %d:\n", what, size);
    wall.Print("time", "probe", "curl", 1e3, "ms");
    cpu.Print("CPU", "probe", "curl", 1e3, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    std::string binDir = argc > 1 ? argv[1] : ".";
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int fd = -1;
    pid_t httpd = sentrel::test::SpawnReading({binDir + "/bench_httpd"}, &fd);
    std::string line;
    sentrel::test::ReadLineFrom(fd, line);
    std::istringstream ports(line);
    int port = 0, tlsPort = 0;
    std::string ca;
    ports >> port >> tlsPort >> ca;
    setenv("CURL_CA_BUNDLE", ca.c_str(), 1);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string tlsBase = "https://127.0.0.1:" + std::to_string(tlsPort);

    std::printf("probe (a): CPU per request, one thread, 500 requests a measurement\n");
    bench::Pairs keepAlive, tls, tlsPage;
    std::vector<double> fresh;
    for (int i = 0; i < kPairs; ++i) {
        keepAlive.Add(ProbeCpu(base + "/page", 500), BareGet(base + "/page", 500, false));
        fresh.push_back(BareGet(base + "/page", 500, true));
        tlsPage.Add(ProbeCpu(tlsBase + "/page", 500), BareGet(tlsBase + "/page", 500, false));
        tls.Add(ProbeCpu(tlsBase + "/big", 100, true), ProbeCpu(tlsBase + "/big", 100, false));
    }
    keepAlive.Print("small page with Content-Length", "probe", "plain GET", 1e6, "us");
    bench::Spread f = bench::SpreadOf(fresh);
    std::printf("  plain GET on a new connection each time: %.1f (%.1f-%.1f) us, load %.2f\n",
                f.median * 1e6, f.min * 1e6, f.max * 1e6, bench::Load());
    tlsPage.Print("HTTPS small page", "probe", "plain GET", 1e6, "us");
    tls.Print("HTTPS, new connection per probe", "TLS session cache", "no cache", 1e6, "us");

    std::printf("probe (b):\n");
    OnePass(binDir, base, base + "/page");
    ProbeCommandPass(binDir, base, base + "/small-chunked");
    ProbeCommandPass(binDir, base, base + "/page", 1);

    std::printf("probe (c):\n");
    Sleepers(base + "/page", 50, 10);
    Sleepers(base + "/page", 500, 10);

    std::printf("probe (d):\n");
    NoLength(base + "/chunked", "chunked");
    NoLength(base + "/close", "close-delimited");
    bench::Stop(httpd);
}
