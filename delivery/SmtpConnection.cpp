#include "delivery/SmtpConnection.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace sentrel {

int CSmtpConnection::Open(const char* server, std::uint16_t port, int connectMs, int ioMs) {
    Close();
    if (!server) return SmtpErrors::kHostUnknown;
    std::uint32_t addr = 0;
    if (std::isalpha(static_cast<unsigned char>(server[0]))) {
        if (!SocketLookupHost(server, addr)) return SmtpErrors::kHostUnknown;
    } else if (!SocketParseAddress(server, addr)) {
        // A dotted address is used as it is: no reverse lookup is needed to connect.
        return SmtpErrors::kBadAddress;
    }
    SocketHandle s = SocketOpenStream();
    if (s == kNoSocket) return SmtpErrors::kNoConnection;
    if (!SocketConnect(s, addr, port != 0 ? port : SocketMailPort(), connectMs)) {
        CloseSocket(s);
        return SmtpErrors::kConnectFailed;
    }
    SocketSetTimeouts(s, ioMs);
    m_socket = s;
    m_nIoTimeoutMs = ioMs;
    return SmtpErrors::kOk;
}

int CSmtpConnection::WriteAll(const char* data, std::size_t n) {
    while (n > 0) {
        long w = SocketSend(m_socket, data, n);
        if (w <= 0) return SmtpErrors::kSendFailed;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return SmtpErrors::kOk;
}

int CSmtpConnection::ReadLine(char* buf, std::size_t size) {
    return ReadLine(buf, size,
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nIoTimeoutMs));
}

int CSmtpConnection::ReadLine(char* buf, std::size_t size,
                              std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    std::size_t n = 0;
    buf[0] = '\0';
    for (;;) {
        // What came with the last line's bytes first; the rest stays for the next line.
        while (m_nInPos < m_nInEnd) {
            if (n + 1 >= size) return SmtpErrors::kNoMemory;
            const char c = m_in[m_nInPos++];
            buf[n++] = c;
            buf[n] = '\0';
            if (c == '\n') return SmtpErrors::kOk;
        }
        if (n + 1 >= size) return SmtpErrors::kNoMemory;
        if (m_pCancel && *m_pCancel) return SmtpErrors::kCancelled;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return SmtpErrors::kRecvFailed;
        // In short waits, so that a cancel is seen soon.
        const int wait = static_cast<int>(m_pCancel ? std::min<long long>(left, 100) : left);
        const int ready = SocketWaitReadable(m_socket, wait);
        if (ready < 0) return SmtpErrors::kRecvFailed;
        if (ready == 0) continue;
        long r = SocketReceive(m_socket, m_in, sizeof m_in);
        if (r < 0) return SmtpErrors::kRecvFailed;
        if (r == 0) return n == 0 ? SmtpErrors::kClosedEarly : SmtpErrors::kOk;
        m_nInPos = 0;
        m_nInEnd = static_cast<std::size_t>(r);
    }
}

void CSmtpConnection::Close() {
    m_nInPos = m_nInEnd = 0;
    if (m_socket != kNoSocket) CloseSocket(m_socket);
    m_socket = kNoSocket;
}

SocketHandle CSmtpConnection::Release() {
    SocketHandle s = m_socket;
    m_socket = kNoSocket;
    return s;
}

int SmtpReplyCode(const char* line) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(line);
    for (int i = 0; i < 3; ++i)
        if (b[i] < '0' || b[i] > '9') return -1;
    if (b[3] != ' ' && b[3] != '-' && b[3] != '\r' && b[3] != '\n' && b[3] != '\0') return -1;
    return (b[0] - '0') * 100 + (b[1] - '0') * 10 + (b[2] - '0');
}

}  // namespace sentrel
