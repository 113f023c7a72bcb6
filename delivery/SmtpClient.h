#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "delivery/MailText.h"
#include "delivery/SmtpConnection.h"

namespace sentrel {

/// One recipient of the To list.
struct MailRecipient {
    std::string strName;     ///< display name, may be empty
    std::string strAddress;  ///< mail address
};


/// One outgoing mail and the SMTP dialogue (plain connection, AUTH LOGIN) that delivers it.
/// Failures set an error code (GetError) and make operations return false.
class CSmtpClient : public SmtpErrors {
  public:
    static constexpr std::size_t kBufferSize = 10240;

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
    /// The body as it travels: 8bit text, or base64 lines when it cannot go as text.
    std::string MessageBody() const;
    /// The whole message (header block and body) for another transport; false with an
    /// error code when it cannot be composed or does not fit the buffer.
    bool ComposeMessage(std::string& message);
    /// Why the connection could not be made (kHostUnknown, kConnectFailed...) after kNoConnection.
    int ConnectError() const { return m_nConnectError; }

    // The transport's steps one at a time, for tests and for callers that drive their
    // own dialogue.
    /// A connected socket that the caller owns and closes, or kNoSocket with an error code.
    SocketHandle OpenConnection(const char* server, std::uint16_t port);
    /// Reads one whole reply ("NNN-" lines continue it, "NNN " ends it) against one
    /// deadline: the receive buffer holds its last line, LastReply all of it.
    bool ReadReply();
    /// The last reply's lines, joined by blanks, without line ends ("535 Error: ...").
    const std::string& LastReply() const { return m_strReply; }
    /// The extensions the server named in its EHLO reply, upper case ("STARTTLS", "AUTH LOGIN").
    const std::vector<std::string>& Capabilities() const { return m_capabilities; }
    /// A send under way gives up, with kCancelled, at its next wait once this flag is set.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_connection.SetCancelFlag(flag); }
    /// The code of the line in the receive buffer, or -1 when it holds no valid reply.
    int ReplyCode() const { return SmtpReplyCode(m_pRecvBuf.get()); }
    /// Writes the send buffer to the open connection.
    bool WriteBuffer();
    const char* QueryLocalHostName();

    /// Time limits of the connection: connect, and each send or receive.
    void SetTimeouts(int connectMs, int ioMs) {
        m_nConnectTimeoutMs = connectMs;
        m_nIoTimeoutMs = ioMs;
    }
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kIoTimeoutMs = 30000;

  private:
    using Text = std::optional<std::string>;
    static void Assign(Text& field, const char* text);
    bool Compose(std::string& header, int& error) const;
    bool Converse();
    bool Fail(int error);
    bool Check(int result) { return result == kOk || Fail(result); }

    // One helper per kind of step of the dialogue.
    /// Puts one command line into the send buffer and writes it; a line that does not fit
    /// fails with kTooLarge.
    bool Command(const std::string& line);
    /// Reads one reply; anything but `expected` fails with `stepError`.
    bool Expect(int expected, int stepError);
    /// Command, then Expect.
    bool Step(int expected, int stepError, const std::string& line);
    /// Reads replies until `expected`, passing over at most 98 lines of code `skip`.
    bool WaitFor(int expected, int skip, int stepError);
    bool SendPassword();
    bool SendRecipients();
    bool SendMessage();

    int m_nError = 0;
    int m_nConnectError = 0;
    std::string m_strReply;
    std::vector<std::string> m_replyLines;
    std::vector<std::string> m_capabilities;
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
    CSmtpConnection m_connection;
    std::vector<MailRecipient> m_toList;
    int m_nConnectTimeoutMs = kConnectTimeoutMs;
    int m_nIoTimeoutMs = kIoTimeoutMs;
};

}  // namespace sentrel
