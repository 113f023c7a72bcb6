#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "delivery/SocketLayer.h"

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

bool SocketParseAddress(const char* dotted, std::uint32_t& addr) {
    in_addr_t a = inet_addr(dotted);
    if (a == INADDR_NONE) return false;
    addr = a;
    return true;
}

bool SocketLookupHost(const char* name, std::uint32_t& addr) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return false;
    addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return true;
}

std::uint16_t SocketMailPort() {
    servent entry{}, *found = nullptr;
    char scratch[1024];
    if (getservbyname_r("mail", nullptr, &entry, scratch, sizeof scratch, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return 25;
}

bool SocketHostName(char* name, std::size_t size) {
    if (size == 0 || gethostname(name, size - 1) != 0) return false;
    name[size - 1] = '\0';
    return true;
}

SocketHandle SocketOpenStream() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? kNoSocket : s;
}

bool SocketConnect(SocketHandle s, std::uint32_t addr, std::uint16_t port, int ms) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    int rc = connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (rc != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd p{s, POLLOUT, 0};
        do rc = poll(&p, 1, ms);
        while (rc < 0 && errno == EINTR);
        if (rc <= 0) return false;
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return false;
    }
    if (fcntl(s, F_SETFL, flags) != 0) return false;
    // The message goes out in several writes before the server answers; without this,
    // Nagle's algorithm and the server's delayed ACK add some 40 ms to every mail.
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool SocketSetTimeouts(SocketHandle s, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
           setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

int SocketReceiveTimeout(SocketHandle s) {
    timeval tv{};
    socklen_t len = sizeof tv;
    if (getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, &len) != 0) return -1;
    return static_cast<int>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
}

int SocketWaitReadable(SocketHandle s, int ms) {
    pollfd p{s, POLLIN, 0};
    int rc;
    do rc = poll(&p, 1, ms);
    while (rc < 0 && errno == EINTR);
    return rc;
}

long SocketSend(SocketHandle s, const char* data, std::size_t n) {
    ssize_t w;
    do w = send(s, data, n, MSG_NOSIGNAL);
    while (w < 0 && errno == EINTR);
    return static_cast<long>(w);
}

long SocketReceive(SocketHandle s, char* data, std::size_t n) {
    ssize_t r;
    do r = recv(s, data, n, 0);
    while (r < 0 && errno == EINTR);
    return static_cast<long>(r);
}

void SetSocketStartupFailsForTesting(bool fail) {
    g_bStartupFails.store(fail);
}

}  // namespace sentrel
