// Monitoring in the program's window against the engine alone, in one process and run:
//  - CPU per probe: 50 rows at interval 1 on the window, against 50 bare watchers on the
//    same server (bench_httpd, a process of its own), rounds interleaved, medians;
//  - memory: peak resident set with 50 watchers running against the idle window;
//  - latency: a page change to its red row (target: the interval plus 100 ms);
//  - Stop: until every watcher has reported its end (target: 600 ms).
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/timer.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "BenchWatchers.h"
#include "WindowDriver.h"
#include "app/MonitorApp.h"
#include "app/MonitorDlg.h"
#include "support/AlertSound.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

class BenchApp : public wxApp {
  public:
    bool OnInit() override { return true; }
};

class Silent : public CAlertSound {
  public:
    void Play(const std::string&) override {}
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs the event loop for `span`, as the program's main loop does: asleep until an event.
void Pump(std::chrono::milliseconds span) {
    wxGUIEventLoop loop;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { loop.Exit(); });
    timer.StartOnce(std::max<int>(1, static_cast<int>(span.count())));
    loop.Run();
}

long Served(const std::string& countUrl) {
    std::string body = sentrel::test::RunAndCapture({"/usr/bin/curl", "-s", countUrl});
    return std::atol(body.c_str());
}

// CPU per probe while `seconds` pass with every watcher past its first probe, so that
// both sides are compared on the steady state; starting and stopping are shown apart.
double SteadyCpuPerProbe(const std::string& countUrl, int seconds) {
    Pump(1500ms);
    long served0 = Served(countUrl);
    double cpu0 = bench::ProcessCpuSeconds();
    Pump(std::chrono::seconds(seconds));
    double cpu = bench::ProcessCpuSeconds() - cpu0;
    return cpu / static_cast<double>(Served(countUrl) - served0);
}

// 50 bare watchers.
double EngineRound(const std::string& url, const std::string& countUrl, int seconds) {
    bench::Watchers watchers(url, 50, 1, false);
    return SteadyCpuPerProbe(countUrl, seconds);
}

void ClearRows(CMonitorDlg& dlg) {
    dlg.Session().Clear();
}

double g_startCpu = 0, g_stopCpu = 0;

// The same 50 rows started and stopped through the window.
double WindowRound(CMonitorDlg& dlg, const std::string& countUrl, int seconds) {
    double cpu0 = bench::ProcessCpuSeconds();
    Press(&dlg, IDC_START);
    g_startCpu = bench::ProcessCpuSeconds() - cpu0;
    double perProbe = SteadyCpuPerProbe(countUrl, seconds);
    double stop0 = bench::ProcessCpuSeconds();
    Press(&dlg, IDC_STOP);
    while (dlg.Session().WatcherThreads() > 0) Pump(5ms);
    g_stopCpu = bench::ProcessCpuSeconds() - stop0;
    return perProbe;
}

}  // namespace

int main(int argc, char** argv) {
    std::string binDir = argc > 1 ? argv[1] : ".";
    int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_monitor needs an X display\n");
        return 1;
    }
    sentrel::test::TempDir home;
    setenv("SENTREL_HOME", home.Path().c_str(), 1);
    sentrel::test::WriteFile(home.File("sentrel.ini"), "interval=1\nbalertwav=1\n");
    wxApp::SetInstance(new BenchApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;

    int port = 0;
    pid_t httpd = bench::StartHttpd(binDir, port);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string page = base + "/page", countUrl = base + "/count";

    CMonitorApp::StartCore();
    auto* dlg = new CMonitorDlg(std::make_unique<Silent>());
    dlg->Show();
    for (int i = 0; i < 50; ++i) AddRow(dlg, page + "?" + std::to_string(i));
    Pump(1s);

    // Memory: the idle window, then the peak while 50 watchers run.
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak (VmHWM) from here
    long idleKb = bench::StatusKb(0, "VmRSS:");
    std::vector<double> engine, window;
    double peakKb = 0;
    for (int round = 0; round < 5; ++round) {
        window.push_back(WindowRound(*dlg, countUrl, seconds));
        if (round == 0) peakKb = static_cast<double>(bench::StatusKb(0, "VmHWM:"));
        engine.push_back(EngineRound(page, countUrl, seconds));
    }
    std::printf("monitoring: 50 rows, interval 1, %d s rounds, medians of 5 interleaved\n",
                seconds);
    std::printf(
        "  CPU per probe, running: window %.1f us, engine alone %.1f us -> %.2fx (target "
        "1.1x)\n",
        Median(window) * 1e6, Median(engine) * 1e6, Median(window) / Median(engine));
    std::printf("  once per run, besides: Start %.1f ms, Stop until all ended %.1f ms CPU\n",
                g_startCpu * 1e3, g_stopCpu * 1e3);
    std::printf(
        "  memory: idle window %ld kB, peak with 50 watchers %.0f kB -> +%.1f MB "
        "(target +10 MB)\n",
        idleKb, peakKb, (peakKb - idleKb) / 1024.0);

    // Latency of a change: one row on a page whose size the bench changes.
    std::atomic<int> size{1000};
    sentrel::test::TestHttpServer changing([&](sentrel::test::TestServer::Conn& c,
                                               const std::string&, int) {
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size.load()) + "\r\n\r\n");
        c.Close();
    });
    ClearRows(*dlg);
    AddRow(dlg, changing.Url("/"));
    Press(dlg, IDC_START);
    while (Cell(dlg, 0, 3) != "1000") Pump(5ms);
    std::vector<double> latency;
    for (int i = 0; i < 8; ++i) {
        // Changes land at different points of the interval.
        Pump(std::chrono::milliseconds(137 * i % 1000));
        double t0 = bench::Now();
        size += 100;
        while (UpdatedRows(dlg) != ",0,") Pump(1ms);
        latency.push_back(bench::Now() - t0);
        Mark(dlg, 0, false);
    }
    Press(dlg, IDC_STOP);
    while (dlg->Session().ActiveWatchers() > 0) Pump(5ms);
    std::printf(
        "  page change to red row: median %.0f ms, worst %.0f ms (target interval + 100 "
        "= 1100 ms)\n",
        Median(latency) * 1e3, *std::max_element(latency.begin(), latency.end()) * 1e3);

    // Stop: 50 running watchers, most of them asleep between probes.
    ClearRows(*dlg);
    for (int i = 0; i < 50; ++i) AddRow(dlg, page + "?" + std::to_string(i));
    std::vector<double> stops;
    for (int i = 0; i < 5; ++i) {
        Press(dlg, IDC_START);
        Pump(std::chrono::milliseconds(1500 + 173 * i));
        double t0 = bench::Now();
        Press(dlg, IDC_STOP);
        while (dlg->Session().ActiveWatchers() > 0) {
            wxYield();
            std::this_thread::sleep_for(1ms);
        }
        stops.push_back(bench::Now() - t0);
    }
    std::printf(
        "  Stop until every watcher reported its end: median %.0f ms, worst %.0f ms "
        "(target 600 ms)\n",
        Median(stops) * 1e3, *std::max_element(stops.begin(), stops.end()) * 1e3);

    CMonitorApp::Shutdown(*dlg);
    delete dlg;
    CMonitorApp::EndCore();
    bench::Stop(httpd);
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
