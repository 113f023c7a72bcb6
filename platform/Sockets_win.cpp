// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include "platform/Sockets.h"

namespace sentrel {

bool SocketHasInput(std::intptr_t socket) {
    return !SocketsWithInput({socket}).empty();
}

std::vector<std::intptr_t> SocketsWithInput(const std::vector<std::intptr_t>& sockets) {
    std::vector<WSAPOLLFD> fds;
    fds.reserve(sockets.size());
    for (std::intptr_t s : sockets) fds.push_back({static_cast<SOCKET>(s), POLLRDNORM, 0});
    std::vector<std::intptr_t> ready;
    if (fds.empty() || ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 0) <= 0) return ready;
    for (const WSAPOLLFD& p : fds)
        if (p.revents & (POLLRDNORM | POLLHUP | POLLERR))
            ready.push_back(static_cast<std::intptr_t>(p.fd));
    return ready;
}

int SocketLocalPort(std::intptr_t socket) {
    sockaddr_storage addr{};
    int len = sizeof addr;
    if (::getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return 0;
}

void SocketShutdown(std::intptr_t socket) {
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

void SocketClose(std::intptr_t socket) {
    ::closesocket(static_cast<SOCKET>(socket));
}

}  // namespace sentrel
