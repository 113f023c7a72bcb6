#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "delivery/SocketLayer.h"

namespace sentrel {

/// The SMTP client's error codes; CSmtpClient inherits them, so they read CSmtpClient::kX.
struct SmtpErrors {
    enum : int {
        kOk = 0,
        kStartupFailed = 100,
        kVersionMismatch = 101,
        kSendFailed = 102,
        kRecvFailed = 103,
        kConnectFailed = 104,
        kHostUnknown = 105,
        kNoConnection = 106,
        kNoHostName = 107,
        kBadAddress = 108,
        kHeaderFailed = 200,
        kNoSender = 201,
        kNoSubject = 202,
        kNoRecipients = 203,
        kNoUserName = 204,
        kNoPassword = 205,
        kNoToAddress = 206,
        kTooLarge = 207,  ///< a command, the header block or the body does not fit the buffer
        kMailFromRefused = 300,
        kEhloRefused = 301,
        kAuthRefused = 302,
        kDataRefused = 303,
        kQuitRefused = 304,
        kRecipientRefused = 305,
        kMessageRefused = 306,
        kClosedEarly = 400,
        kNoGreeting = 401,
        kTooManyLines = 402,
        kBadLogin = 405,
        kAuthUnexpected = 406,
        kNoMemory = 407,
        kCancelled = 408,  ///< the sender gave up (the test mail's cancel)
    };
};

/// The transport under an SMTP dialogue: one TCP connection, written whole, and read one
/// reply line at a time against one deadline per line, however slowly its bytes come.
/// Every call answers kOk or one of the SmtpErrors codes.
class CSmtpConnection {
  public:
    CSmtpConnection() = default;
    ~CSmtpConnection() { Close(); }
    CSmtpConnection(const CSmtpConnection&) = delete;
    CSmtpConnection& operator=(const CSmtpConnection&) = delete;

    /// Resolves `server` (a name, or a dotted address used as it is), connects within
    /// `connectMs` and sets `ioMs` as the limit of each write and of each reply line.
    /// Port 0 means the mail service's port.
    int Open(const char* server, std::uint16_t port, int connectMs, int ioMs);
    /// Takes over a socket connected elsewhere (one end of a socket pair, in tests).
    void Adopt(SocketHandle s, int ioMs) {
        Close();
        m_nInPos = m_nInEnd = 0;
        m_socket = s;
        m_nIoTimeoutMs = ioMs;
    }
    int WriteAll(const char* data, std::size_t n);
    /// One line, its line end included, into `buf` (NUL-terminated). A peer that closes
    /// after part of a line yields that part; one that closes before any byte, kClosedEarly;
    /// a line that does not fit `size`, kNoMemory. The line must be in by `deadline` (by
    /// default the I/O limit from now).
    int ReadLine(char* buf, std::size_t size);
    int ReadLine(char* buf, std::size_t size, std::chrono::steady_clock::time_point deadline);
    /// Waits end early, with kCancelled, once this flag is set.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_pCancel = flag; }
    int IoTimeoutMs() const { return m_nIoTimeoutMs; }
    void Close();

    bool IsOpen() const { return m_socket != kNoSocket; }
    /// Hands the socket to the caller, who closes it.
    SocketHandle Release();

  private:
    SocketHandle m_socket = kNoSocket;
    int m_nIoTimeoutMs = 0;
    const std::atomic<bool>* m_pCancel = nullptr;
    // Bytes received but not yet handed out: the start of the next reply line.
    char m_in[4096];
    std::size_t m_nInPos = 0, m_nInEnd = 0;
};

/// The code of a reply line: three digits, then a space, a hyphen or the line's end;
/// -1 for anything else, which no step accepts.
int SmtpReplyCode(const char* line);

}  // namespace sentrel
