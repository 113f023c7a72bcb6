#include <unistd.h>

#include <atomic>

#include "SocketLayer.h"

namespace sentrel {

namespace {
std::atomic<bool> g_bStartupFails{false};
}

int SocketStartup(int& major, int& minor) {
    if (g_bStartupFails.load()) return -1;
    major = 2;
    minor = 2;
    return 0;
}

void SocketCleanup() {}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) ::close(s);
}

void SetSocketStartupFailsForTesting(bool fail) {
    g_bStartupFails.store(fail);
}

}  // namespace sentrel
