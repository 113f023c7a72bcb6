// clang-format off
#include <winsock2.h>
// clang-format on

#include "Sockets.h"

namespace sentrel {

bool SocketHasInput(std::intptr_t socket) {
    WSAPOLLFD p{static_cast<SOCKET>(socket), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, 0) > 0 && (p.revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
}

void SocketShutdown(std::intptr_t socket) {
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

void SocketClose(std::intptr_t socket) {
    ::closesocket(static_cast<SOCKET>(socket));
}

}  // namespace sentrel
