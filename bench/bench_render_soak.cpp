// The renderer over a long run: 1,000 renders of loopback pages built by script, two at a
// time, through the program's renderer, its browser started anew after its pages or once it
// has grown (as shipped), and, to compare, never. The browser tree's memory (proportional
// set size summed over its processes) after the first 100 renders and after the last 100,
// each the mean of the ten samples taken as the renders 91 to 100 (991 to 1,000) ended.
//   bench_render_soak BROWSER [RENDERS]
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "ScriptShop.h"
#include "probe/Renderer.h"

using namespace sentrel;

namespace {

// The browser's processes: this program's children and theirs, itself left out.
double BrowserMb() {
    long kb = 0;
    for (pid_t p : bench::Tree(getpid()))
        if (p != getpid()) kb += bench::PssKb(p);
    return kb / 1024.0;
}

struct Soak {
    double first = 0, last = 0, seconds = 0;
    int browsers = 0, failures = 0;
};

Soak Run(const std::string& url, int renders, bool restart) {
    Renderer renderer;
    Renderer::Bounds bounds;
    if (!restart) {
        bounds.pagesPerBrowser = INT_MAX;
        bounds.grown = SIZE_MAX;
    }
    renderer.SetBounds(bounds);
    Soak soak;
    std::atomic<int> next{0}, failures{0};
    std::mutex mutex;
    std::vector<double> early, late;
    const double start = bench::Now();
    auto work = [&] {
        for (int i; (i = next++) < renders;) {
            if (renderer.Render(url + std::to_string(i % 20), {}).failure != ProbeFailure::None) ++failures;
            const bool first = i >= 90 && i < 100, end = i >= renders - 10;
            if (!first && !end) continue;
            const double mb = BrowserMb();
            std::lock_guard<std::mutex> lock(mutex);
            (first ? early : late).push_back(mb);
        }
    };
    std::thread other(work);
    work();
    other.join();
    soak.seconds = bench::Now() - start;
    auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v) sum += x;
        return v.empty() ? 0 : sum / static_cast<double>(v.size());
    };
    soak.first = mean(early);
    soak.last = mean(late);
    soak.browsers = renderer.BrowsersStarted();
    soak.failures = failures;
    renderer.Shutdown();
    return soak;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_render_soak BROWSER [RENDERS]\n");
        return 2;
    }
    setenv("SENTREL_BROWSER", argv[1], 1);
    const int renders = argc > 2 ? std::atoi(argv[2]) : 1000;
    test::TestHttpServer server([](test::TestServer::Conn& c, const std::string& head, int) {
        c.Write(test::Answer(head.substr(4, head.find(' ', 4) - 4)));
    });
    const std::string url = server.Url("/p/");
    std::printf("renderer soak: %d renders of 20 loopback pages built by script, two at a time, %s\n", renders,
                argv[1]);
    for (const bool restart : {true, false}) {
        const Soak s = Run(url, renders, restart);
        std::printf("  %-34s after 100: %6.0f MB   after %d: %6.0f MB (%.2fx)   browsers %d, failed %d, %.0f s\n",
                    restart ? "started anew (200 pages, 1.5 GiB):" : "never started anew:", s.first, renders,
                    s.last, s.first > 0 ? s.last / s.first : 0, s.browsers, s.failures, s.seconds);
    }
    return 0;
}
