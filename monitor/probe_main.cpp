// sentrel-probe URL [URL...]: prints, one line per URL, the size the watcher's probe
// measures (0 when unknown), through the same code as the watchers.
#include <cstdio>
#include <cstring>

#include "WatchThread.h"

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fprintf(stderr,
                     "usage: sentrel-probe URL [URL...]\n"
                     "Prints the page size in bytes that monitoring measures for each URL,\n"
                     "one per line, in the order given; 0 when no size can be measured.\n");
        return argc < 2 ? 2 : 0;
    }
    sentrel::CWatchThread probe;
    if (!probe.OpenSession()) {
        std::fprintf(stderr, "sentrel-probe: cannot open an HTTP session\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        std::printf("%d\n", probe.GetPageSize(argv[i]));
        std::fflush(stdout);
    }
    return 0;
}
