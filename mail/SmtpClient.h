#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SocketLayer.h"

namespace sentrel {

/// One recipient of the To list.
struct MailRecipient {
    std::string strName;     ///< display name, may be empty
    std::string strAddress;  ///< mail address
};

/// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of `n` bytes.
std::string EncodeBase64(const void* data, std::size_t n);
inline std::string EncodeBase64(const std::string& s) {
    return EncodeBase64(s.data(), s.size());
}

/// "Sun, 06 Dec 2026 09:05:03": English names, UTC clock, no zone; never uses the locale.
std::string FormatMailDate(std::time_t when);

/// One outgoing mail and the SMTP dialogue (plain connection, AUTH LOGIN) that delivers it.
/// Failures set an error code (GetError) and make operations return false.
class CSmtpClient {
  public:
    static constexpr std::size_t kBufferSize = 10240;

    // Error codes.
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
    };

    CSmtpClient();
    virtual ~CSmtpClient();
    CSmtpClient(const CSmtpClient&) = delete;
    CSmtpClient& operator=(const CSmtpClient&) = delete;

    int GetError() const { return m_nError; }

    void SetServer(const char* host, std::uint16_t port);
    void SetUserName(const char* text) { Assign(m_strUserName, text); }
    void SetPassword(const char* text) { Assign(m_strPassword, text); }
    void SetFromName(const char* text) { Assign(m_strFromName, text); }
    void SetFromAddress(const char* text) { Assign(m_strFromAddress, text); }
    void SetReplyAddress(const char* text) { Assign(m_strReplyAddress, text); }
    void SetSubject(const char* text) { Assign(m_strSubject, text); }
    void SetBody(const char* text) { Assign(m_strBody, text); }
    void SetMailerName(const char* text) { Assign(m_strMailerName, text); }
    void SetPriority(int priority) { m_nPriority = priority; }
    /// Appends a recipient; a null address sets 206 and returns false.
    bool AddTo(const char* address, const char* name);

    /// Connect, converse, deliver, quit: true only when every step, QUIT included, succeeded.
    bool Send();

    /// Writes the header block into `buffer` (kBufferSize bytes); false with an error code.
    bool BuildHeader(char* buffer);

    /// A connected socket, or kNoSocket with an error code.
    SocketHandle OpenConnection(const char* server, std::uint16_t port);
    bool ReadReplyLine();
    int ReplyCode() const;
    bool WriteBuffer();
    const char* QueryLocalHostName();

    /// Time limits of the connection: connect, and each send or receive.
    void SetTimeouts(int connectMs, int ioMs) {
        m_nConnectTimeoutMs = connectMs;
        m_nIoTimeoutMs = ioMs;
    }
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kIoTimeoutMs = 30000;

    const char* ReceiveBuffer() const { return m_pRecvBuf.get(); }

  private:
    using Text = std::optional<std::string>;
    static void Assign(Text& field, const char* text);
    bool Compose(std::string& header, int& error) const;
    bool Format(const char* fmt, ...);
    bool WaitFor(int expected, int skip, int stepError);
    bool Fail(int error);
    void CloseConnection();

    int m_nError = 0;
    Text m_strLocalHost;
    Text m_strFromAddress;
    Text m_strFromName;
    Text m_strSubject;
    Text m_strBody;
    Text m_strMailerName;
    Text m_strReplyAddress;
    Text m_strUserName;
    Text m_strPassword;
    Text m_strServer;
    std::uint16_t m_nPort = 0;
    int m_nPriority = 3;
    std::unique_ptr<char[]> m_pSendBuf;
    std::unique_ptr<char[]> m_pRecvBuf;
    bool m_bStarted = false;
    SocketHandle m_socket = kNoSocket;
    std::vector<MailRecipient> m_toList;
    int m_nConnectTimeoutMs = kConnectTimeoutMs;
    int m_nIoTimeoutMs = kIoTimeoutMs;
};

}  // namespace sentrel
