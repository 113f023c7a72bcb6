// The SMTP client's line transport: connecting with a time-out, writing the send buffer
// whole, reading one reply line against one deadline, and closing. The dialogue that uses
// it is in SmtpClient.cpp.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "SmtpClient.h"

namespace sentrel {

namespace {

bool SetTimeout(SocketHandle s, int option, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return setsockopt(s, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

// connect() bounded by `ms`; the socket is left blocking afterwards.
bool ConnectWithin(SocketHandle s, const sockaddr_in& addr, int ms) {
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    int rc = connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
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
    return fcntl(s, F_SETFL, flags) == 0;
}

}  // namespace

SocketHandle CSmtpClient::OpenConnection(const char* server, std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (!server) {
        m_nError = kHostUnknown;
        return kNoSocket;
    }
    if (std::isalpha(static_cast<unsigned char>(server[0]))) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(server, nullptr, &hints, &res) != 0 || !res) {
            m_nError = kHostUnknown;
            return kNoSocket;
        }
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
        freeaddrinfo(res);
    } else {
        in_addr_t a = inet_addr(server);
        if (a == INADDR_NONE) {
            m_nError = kBadAddress;
            return kNoSocket;
        }
        // A dotted address is used as it is: no reverse lookup is needed to connect.
        addr.sin_addr.s_addr = a;
    }
    SocketHandle s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == kNoSocket) {
        m_nError = kNoConnection;
        return kNoSocket;
    }
    if (port != 0) {
        addr.sin_port = htons(port);
    } else {
        servent entry{}, *found = nullptr;
        char scratch[1024];
        if (getservbyname_r("mail", nullptr, &entry, scratch, sizeof scratch, &found) == 0 && found)
            addr.sin_port = static_cast<in_port_t>(found->s_port);
        else
            addr.sin_port = htons(25);
    }
    if (!ConnectWithin(s, addr, m_nConnectTimeoutMs)) {
        CloseSocket(s);
        m_nError = kConnectFailed;
        return kNoSocket;
    }
    // The message goes out in several writes before the server answers; without this,
    // Nagle's algorithm and the server's delayed ACK add some 40 ms to every mail.
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetTimeout(s, SO_RCVTIMEO, m_nIoTimeoutMs);
    SetTimeout(s, SO_SNDTIMEO, m_nIoTimeoutMs);
    return s;
}

bool CSmtpClient::ReadReplyLine() {
    char* buf = m_pRecvBuf.get();
    std::size_t n = 0;
    // One deadline for the whole reply, however slowly its bytes come.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nIoTimeoutMs);
    for (;;) {
        if (n == kBufferSize - 1) {
            buf[n] = '\0';
            m_nError = kNoMemory;
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{m_socket, POLLIN, 0};
        int ready = left.count() > 0 ? poll(&pfd, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            buf[n] = '\0';
            m_nError = kRecvFailed;
            return false;
        }
        // One byte per call, so a reply line never takes bytes of the next one.
        ssize_t r = recv(m_socket, buf + n, 1, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            buf[n] = '\0';
            m_nError = kRecvFailed;
            return false;
        }
        if (r == 0) {
            buf[n] = '\0';
            if (n == 0) {
                m_nError = kClosedEarly;
                return false;
            }
            return true;
        }
        if (buf[n++] == '\n') {
            buf[n] = '\0';
            return true;
        }
    }
}

int CSmtpClient::ReplyCode() const {
    // Three digits, then a space, a hyphen or the line's end; anything else is no reply
    // (-1), which no step accepts. The buffer ends at the reply, so a short one never
    // reads what an earlier reply left there.
    const unsigned char* b = reinterpret_cast<const unsigned char*>(m_pRecvBuf.get());
    for (int i = 0; i < 3; ++i)
        if (b[i] < '0' || b[i] > '9') return -1;
    if (b[3] != ' ' && b[3] != '-' && b[3] != '\r' && b[3] != '\n' && b[3] != '\0') return -1;
    return (b[0] - '0') * 100 + (b[1] - '0') * 10 + (b[2] - '0');
}

bool CSmtpClient::WriteBuffer() {
    const char* p = m_pSendBuf.get();
    std::size_t left = std::strlen(p);
    while (left > 0) {
        ssize_t w = send(m_socket, p, left, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            m_nError = kSendFailed;
            return false;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return true;
}

const char* CSmtpClient::QueryLocalHostName() {
    m_strLocalHost.reset();
    char name[256];
    if (gethostname(name, 255) != 0) {
        m_nError = kNoHostName;
        return nullptr;
    }
    name[255] = '\0';
    m_strLocalHost = std::string(name);
    return m_strLocalHost->c_str();
}

void CSmtpClient::CloseConnection() {
    if (m_socket != kNoSocket) CloseSocket(m_socket);
    m_socket = kNoSocket;
}

}  // namespace sentrel
