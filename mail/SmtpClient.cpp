#include "SmtpClient.h"

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
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace sentrel {

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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

std::string EncodeBase64(const void* data, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < n) {
        unsigned v = p[i] << 16;
        if (i + 1 < n) v |= p[i + 1] << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += (i + 1 < n) ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string FormatMailDate(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    gmtime_r(&when, &t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d", kDays[t.tm_wday % 7],
                  t.tm_mday, kMonths[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec);
    return buf;
}

CSmtpClient::CSmtpClient() {
    m_pRecvBuf.reset(new (std::nothrow) char[kBufferSize]);
    if (m_pRecvBuf) m_pSendBuf.reset(new (std::nothrow) char[kBufferSize]);
    if (!m_pRecvBuf || !m_pSendBuf) {
        m_nError = kNoMemory;
        return;
    }
    m_pRecvBuf[0] = m_pSendBuf[0] = '\0';
    int major = 0, minor = 0;
    if (SocketStartup(major, minor) != 0) {
        m_nError = kStartupFailed;
    } else if (major != 2 || minor != 2) {
        m_nError = kVersionMismatch;
        SocketCleanup();
    } else {
        m_bStarted = true;
    }
}

CSmtpClient::~CSmtpClient() {
    CloseConnection();
    if (m_bStarted) SocketCleanup();
}

void CSmtpClient::Assign(Text& field, const char* text) {
    if (text)
        field = std::string(text);
    else
        field.reset();
}

void CSmtpClient::SetServer(const char* host, std::uint16_t port) {
    Assign(m_strServer, host);
    m_nPort = port;
}

bool CSmtpClient::AddTo(const char* address, const char* name) {
    if (!address) {
        m_nError = kNoToAddress;
        return false;
    }
    m_toList.push_back({name ? name : "", address});
    return true;
}

bool CSmtpClient::Compose(std::string& header, int& error) const {
    if (m_toList.empty()) {
        error = kNoRecipients;
        return false;
    }
    std::string to;
    for (std::size_t i = 0; i < m_toList.size(); ++i) {
        if (i) to += ',';
        to += m_toList[i].strName + "<" + m_toList[i].strAddress + ">";
    }
    std::string date = FormatMailDate(std::time(nullptr));
    header = "Date: " + date + "\r\n";
    if (!m_strFromAddress) {
        error = kNoSender;
        return false;
    }
    header += "From: ";
    if (m_strFromName) header += *m_strFromName;
    header += " <" + *m_strFromAddress + ">\r\n";
    if (m_strMailerName) header += "X-Mailer: " + *m_strMailerName + "\r\n";
    if (m_strReplyAddress) header += "Reply-To: " + *m_strReplyAddress + "\r\n";
    if (m_nPriority == 2)
        header += "X-Priority: 2 (High)\r\n";
    else if (m_nPriority == 4)
        header += "X-Priority: 4 (Low)\r\n";
    else
        header += "X-Priority: 3 (Normal)\r\n";
    header += "To: " + to + "\r\n";
    if (m_strSubject) {
        header += "Subject: " + *m_strSubject + "\r\n";
    } else {
        error = kNoSubject;  // recorded, and the header is completed all the same
        header += "Subject:  \r\n";
    }
    header += "MIME-Version: 1.0\r\n\r\n";
    return true;
}

bool CSmtpClient::BuildHeader(char* buffer) {
    std::string header;
    int error = m_nError;
    bool ok = Compose(header, error);
    m_nError = error;
    if (!ok) return false;
    if (header.size() >= kBufferSize) {
        m_nError = kTooLarge;
        return false;
    }
    std::memcpy(buffer, header.c_str(), header.size() + 1);
    return true;
}

bool CSmtpClient::Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(m_pSendBuf.get(), kBufferSize, fmt, ap);
    va_end(ap);
    if (n < 0 || static_cast<std::size_t>(n) >= kBufferSize) {
        m_pSendBuf[0] = '\0';
        m_nError = kTooLarge;
        return false;
    }
    return true;
}

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

bool CSmtpClient::WaitFor(int expected, int skip, int stepError) {
    for (int skipped = 0;;) {
        if (!ReadReplyLine()) return false;
        int code = ReplyCode();
        if (code == expected) return true;
        if (code != skip) return Fail(stepError);
        if (++skipped >= 99) return Fail(kTooManyLines);
    }
}

bool CSmtpClient::Fail(int error) {
    m_nError = error;
    return false;
}

void CSmtpClient::CloseConnection() {
    if (m_socket != kNoSocket) CloseSocket(m_socket);
    m_socket = kNoSocket;
}

bool CSmtpClient::Send() {
    if (!m_pSendBuf || !m_pRecvBuf) return Fail(kNoMemory);

    // A message that cannot fit the send buffer is refused before any connection is made.
    std::string header;
    int composeError = 0;
    if ((Compose(header, composeError) && header.size() >= kBufferSize) ||
        (m_strBody && m_strBody->size() + 2 >= kBufferSize))
        return Fail(kTooLarge);

    bool ok = [this] {
        // 1. Connect.
        m_socket = OpenConnection(m_strServer ? m_strServer->c_str() : nullptr, m_nPort);
        if (m_socket == kNoSocket) return Fail(kNoConnection);

        // 2. Greeting.
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 220) return Fail(kNoGreeting);

        // 3. EHLO; only the first line of its reply is read here.
        const char* host = QueryLocalHostName();
        if (!Format("EHLO %s\r\n", host ? host : "domain") || !WriteBuffer()) return false;
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 250) return Fail(kEhloRefused);

        // 4. AUTH LOGIN, skipping the rest of the EHLO reply.
        if (!Format("AUTH LOGIN\r\n") || !WriteBuffer()) return false;
        if (!WaitFor(334, 250, kAuthRefused)) return false;

        // 5. User name.
        if (!m_strUserName) return Fail(kNoUserName);
        if (!Format("%s\r\n", EncodeBase64(*m_strUserName).c_str()) || !WriteBuffer()) return false;
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 334) return Fail(kAuthUnexpected);

        // 6. Password: 235 logs in, 535 refuses it.
        if (!m_strPassword) return Fail(kNoPassword);
        if (!Format("%s\r\n", EncodeBase64(*m_strPassword).c_str()) || !WriteBuffer()) return false;
        for (int skipped = 0;;) {
            if (!ReadReplyLine()) return false;
            int code = ReplyCode();
            if (code == 235) break;
            if (code == 535) return Fail(kBadLogin);
            if (code != 334) return Fail(kAuthUnexpected);
            if (++skipped >= 99) return Fail(kTooManyLines);
        }

        // 7. Sender.
        if (!m_strFromAddress) return Fail(kNoSender);
        if (!Format("MAIL FROM:<%s>\r\n", m_strFromAddress->c_str()) || !WriteBuffer())
            return false;
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 250) return Fail(kMailFromRefused);

        // 8. Recipients; a refused one does not stop the others.
        int accepted = static_cast<int>(m_toList.size());
        for (const MailRecipient& to : m_toList) {
            if (!Format("RCPT TO:<%s>\r\n", to.strAddress.c_str()) || !WriteBuffer()) return false;
            if (!ReadReplyLine()) return false;
            if (ReplyCode() != 250) {
                --accepted;
                m_nError = kRecipientRefused;
            }
        }
        // 9. Nobody to deliver to.
        if (accepted <= 0) return false;

        // 10. DATA.
        if (!Format("DATA\r\n") || !WriteBuffer()) return false;
        if (!WaitFor(354, 250, kDataRefused)) return false;

        // 11. Header block.
        if (!BuildHeader(m_pSendBuf.get())) return Fail(kHeaderFailed);
        if (!WriteBuffer()) return false;

        // 12. Body, then 13. the end-of-data line.
        if (!Format("%s\r\n", m_strBody ? m_strBody->c_str() : "") || !WriteBuffer()) return false;
        if (!Format("\r\n.\r\n") || !WriteBuffer()) return false;
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 250) return Fail(kMessageRefused);

        // 14. QUIT.
        if (!Format("QUIT\r\n") || !WriteBuffer()) return false;
        if (!ReadReplyLine()) return false;
        if (ReplyCode() != 221) return Fail(kQuitRefused);
        return true;
    }();
    CloseConnection();  // on every path: nothing stays open
    return ok;
}

}  // namespace sentrel
