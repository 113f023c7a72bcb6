// Start-up time from process start to the window shown on the X display, and the peak
// memory of the idle program, against the smallest wx dialog program in the same run.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "testsupport/TempDir.h"

namespace {

long WindowPid(Display* d, Window w) {
    Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
    if (pidAtom == None) return -1;
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                           &data) == Success &&
        data && n == 1)
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

struct Run {
    double seconds;
    long peakKb;
    long rssKb;
};

Run StartOnce(const std::string& program, const std::string& home) {
    Display* d = XOpenDisplay(nullptr);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
    double t0 = bench::Now();
    // GTK probes OpenGL at start where the display offers it; on a virtual display that
    // maps a software renderer of some 55 MB, in some runs and not others, which would
    // drown what the programs themselves cost. Neither program draws with GL.
    pid_t pid = sentrel::test::Spawn({program}, {"SENTREL_HOME=" + home, "GDK_GL=disable"});
    double shown = -1;
    while (shown < 0 && bench::Now() - t0 < 20) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && WindowPid(d, e.xmap.window) == pid)
                shown = bench::Now() - t0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // idle
    Run r{shown, bench::StatusKb(pid, "VmHWM:"), bench::StatusKb(pid, "VmRSS:")};
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(d);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bin = argc > 1 ? argv[1] : ".";
    int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    // Interleaved: ours, the baseline, ours, ... so that both meet the same machine. Each
    // program starts twice in its home: a first start (our program writes its new profile),
    // then a start as on every other day, whose idle memory is taken.
    bench::Pairs first, shown, idle, peak;
    for (int i = 0; i < runs; ++i) {
        sentrel::test::TempDir a, b;
        Run oursFirst = StartOnce(bin + "/sentrel", a.Path());
        Run baseFirst = StartOnce(bin + "/bench_wxdialog", b.Path());
        Run ours = StartOnce(bin + "/sentrel", a.Path());
        Run base = StartOnce(bin + "/bench_wxdialog", b.Path());
        first.Add(oursFirst.seconds, baseFirst.seconds);
        shown.Add(ours.seconds, base.seconds);
        idle.Add(ours.rssKb, base.rssKb);
        peak.Add(ours.peakKb, base.peakKb);
    }
    std::printf("startup: against a bare wx window with the same Chinese texts and list "
                "(GDK_GL=disable for both)\n");
    first.Print("window shown, first start", "sentrel", "baseline", 1e3, "ms");
    shown.Print("window shown", "sentrel", "baseline", 1e3, "ms");
    idle.Print("idle memory (RSS)", "sentrel", "baseline", 1.0 / 1024, "MB");
    peak.Print("peak memory", "sentrel", "baseline", 1.0 / 1024, "MB");
}
