#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>

#include "delivery/SocketLayer.h"

namespace sentrel {

namespace {
std::atomic<bool> g_bStartupFails{false};
SOCKET Raw(SocketHandle s) {
    return static_cast<SOCKET>(s);
}
}  // namespace

int SocketStartup(int& major, int& minor) {
    if (g_bStartupFails.load()) return -1;
    WSADATA data{};
    int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) return rc;
    major = LOBYTE(data.wVersion);
    minor = HIBYTE(data.wVersion);
    return 0;
}

void SocketCleanup() {
    WSACleanup();
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) closesocket(Raw(s));
}

bool SocketParseAddress(const char* dotted, std::uint32_t& addr) {
    in_addr a{};
    if (InetPtonA(AF_INET, dotted, &a) != 1) return false;
    addr = a.s_addr;
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
    const servent* found = getservbyname("mail", nullptr);
    return found ? ntohs(static_cast<u_short>(found->s_port)) : 25;
}

bool SocketHostName(char* name, std::size_t size) {
    if (size == 0 || gethostname(name, static_cast<int>(size - 1)) != 0) return false;
    name[size - 1] = '\0';
    return true;
}

SocketHandle SocketOpenStream() {
    SOCKET s =
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

bool SocketConnect(SocketHandle s, std::uint32_t addr, std::uint16_t port, int ms) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    u_long nonBlocking = 1;
    if (ioctlsocket(Raw(s), FIONBIO, &nonBlocking) != 0) return false;
    if (connect(Raw(s), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        WSAPOLLFD p{Raw(s), POLLWRNORM, 0};
        if (WSAPoll(&p, 1, ms) <= 0) return false;
        int err = 0;
        int len = sizeof err;
        if (getsockopt(Raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 ||
            err != 0 || (p.revents & (POLLERR | POLLHUP)))
            return false;
    }
    nonBlocking = 0;
    if (ioctlsocket(Raw(s), FIONBIO, &nonBlocking) != 0) return false;
    BOOL one = TRUE;
    setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return true;
}

bool SocketSetTimeouts(SocketHandle s, int ms) {
    // Winsock takes the time-out as a DWORD of milliseconds, not as a timeval.
    DWORD v = static_cast<DWORD>(ms);
    return setsockopt(Raw(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&v),
                      sizeof v) == 0 &&
           setsockopt(Raw(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&v),
                      sizeof v) == 0;
}

int SocketReceiveTimeout(SocketHandle s) {
    DWORD v = 0;
    int len = sizeof v;
    if (getsockopt(Raw(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&v), &len) != 0)
        return -1;
    return static_cast<int>(v);
}

int SocketWaitReadable(SocketHandle s, int ms) {
    WSAPOLLFD p{Raw(s), POLLRDNORM, 0};
    return WSAPoll(&p, 1, ms);
}

long SocketSend(SocketHandle s, const char* data, std::size_t n) {
    int chunk = n > 1 << 30 ? 1 << 30 : static_cast<int>(n);
    return send(Raw(s), data, chunk, 0);
}

long SocketReceive(SocketHandle s, char* data, std::size_t n) {
    int chunk = n > 1 << 30 ? 1 << 30 : static_cast<int>(n);
    return recv(Raw(s), data, chunk, 0);
}

void SetSocketStartupFailsForTesting(bool fail) {
    g_bStartupFails.store(fail);
}

}  // namespace sentrel
