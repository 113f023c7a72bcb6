#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Sockets.h"

namespace sentrel {

bool SocketHasInput(std::intptr_t socket) {
    pollfd p{static_cast<int>(socket), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void SocketShutdown(std::intptr_t socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
}

void SocketClose(std::intptr_t socket) {
    ::close(static_cast<int>(socket));
}

}  // namespace sentrel
