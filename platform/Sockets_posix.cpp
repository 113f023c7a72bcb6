#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Sockets.h"

namespace sentrel {

bool SocketHasInput(std::intptr_t socket) {
    return !SocketsWithInput({socket}).empty();
}

std::vector<std::intptr_t> SocketsWithInput(const std::vector<std::intptr_t>& sockets) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (std::intptr_t s : sockets) fds.push_back({static_cast<int>(s), POLLIN, 0});
    std::vector<std::intptr_t> ready;
    if (fds.empty() || ::poll(fds.data(), fds.size(), 0) <= 0) return ready;
    for (const pollfd& p : fds)
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) ready.push_back(p.fd);
    return ready;
}

int SocketLocalPort(std::intptr_t socket) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return 0;
}

void SocketShutdown(std::intptr_t socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
}

void SocketClose(std::intptr_t socket) {
    ::close(static_cast<int>(socket));
}

}  // namespace sentrel
