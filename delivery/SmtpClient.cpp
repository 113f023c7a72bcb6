#include "delivery/SmtpClient.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "delivery/MailText.h"
#include "platform/Files.h"

namespace sentrel {

std::string CSmtpClient::MessageBody() const {
    const std::string body = m_strBody ? *m_strBody : std::string();
    if (!NeedsBase64(body)) return body;
    const std::string all = EncodeBase64(body);
    std::string out;
    for (std::size_t i = 0; i < all.size(); i += 76) {
        if (i) out += "\r\n";
        out += all.substr(i, 76);
    }
    return out;
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
    m_connection.Close();
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
        to += EncodeHeaderText(m_toList[i].strName) + "<" + m_toList[i].strAddress + ">";
    }
    std::string date = FormatMailDate(std::time(nullptr));
    header = "Date: " + date + "\r\n";
    if (!m_strFromAddress) {
        error = kNoSender;
        return false;
    }
    header += "From: ";
    if (m_strFromName) header += EncodeHeaderText(*m_strFromName);
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
        header += "Subject: " + EncodeHeaderText(*m_strSubject) + "\r\n";
    } else {
        error = kNoSubject;  // recorded, and the header is completed all the same
        header += "Subject:  \r\n";
    }
    header += "Message-ID: " + NewMessageId(*m_strFromAddress) + "\r\n";
    header += "MIME-Version: 1.0\r\n";
    header += "Content-Type: text/plain; charset=UTF-8\r\n";
    header += std::string("Content-Transfer-Encoding: ") +
              (NeedsBase64(m_strBody ? *m_strBody : std::string()) ? "base64" : "8bit") +
              "\r\n\r\n";
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

bool CSmtpClient::ComposeMessage(std::string& message) {
    std::string header;
    int error = m_nError;
    if (!Compose(header, error)) return Fail(error);
    message = header + MessageBody() + "\r\n";
    if (header.size() >= kBufferSize || MessageBody().size() + 2 >= kBufferSize)
        return Fail(kTooLarge);
    return true;
}

bool CSmtpClient::Fail(int error) {
    m_nError = error;
    return false;
}

SocketHandle CSmtpClient::OpenConnection(const char* server, std::uint16_t port) {
    CSmtpConnection connection;
    if (!Check(connection.Open(server, port, m_nConnectTimeoutMs, m_nIoTimeoutMs)))
        return kNoSocket;
    return connection.Release();
}

bool CSmtpClient::ReadReply() {
    // One deadline for the whole reply: a server that drips continuation lines cannot
    // hold the send longer than one slow line could.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nIoTimeoutMs);
    m_strReply.clear();
    m_replyLines.clear();
    for (int lines = 0;; ++lines) {
        if (lines >= 100) return Fail(kTooManyLines);
        if (!Check(m_connection.ReadLine(m_pRecvBuf.get(), kBufferSize, deadline))) return false;
        std::string line = m_pRecvBuf.get();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!m_strReply.empty()) m_strReply += ' ';
        m_strReply += line;
        m_replyLines.push_back(line);
        if (ReplyCode() < 0 || line.size() < 4 || line[3] != '-') return true;
    }
}

bool CSmtpClient::WriteBuffer() {
    return Check(m_connection.WriteAll(m_pSendBuf.get(), std::strlen(m_pSendBuf.get())));
}

const char* CSmtpClient::QueryLocalHostName() {
    m_strLocalHost.reset();
    char name[256];
    if (!SocketHostName(name, sizeof name)) {
        m_nError = kNoHostName;
        return nullptr;
    }
    m_strLocalHost = std::string(name);
    return m_strLocalHost->c_str();
}

bool CSmtpClient::Command(const std::string& line) {
    if (line.size() >= kBufferSize) return Fail(kTooLarge);
    std::memcpy(m_pSendBuf.get(), line.c_str(), line.size() + 1);
    return WriteBuffer();
}

bool CSmtpClient::Expect(int expected, int stepError) {
    if (!ReadReply()) return false;
    return ReplyCode() == expected || Fail(stepError);
}

bool CSmtpClient::Step(int expected, int stepError, const std::string& line) {
    return Command(line) && Expect(expected, stepError);
}

bool CSmtpClient::WaitFor(int expected, int skip, int stepError) {
    for (int skipped = 0;;) {
        if (!ReadReply()) return false;
        int code = ReplyCode();
        if (code == expected) return true;
        if (code != skip) return Fail(stepError);
        if (++skipped >= 99) return Fail(kTooManyLines);
    }
}

// 235 logs in, 535 refuses the password; further 334 lines are passed over.
bool CSmtpClient::SendPassword() {
    if (!m_strPassword) return Fail(kNoPassword);
    if (!Command(EncodeBase64(*m_strPassword) + "\r\n")) return false;
    for (int skipped = 0;;) {
        if (!ReadReply()) return false;
        int code = ReplyCode();
        if (code == 235) return true;
        if (code == 535) return Fail(kBadLogin);
        if (code != 334) return Fail(kAuthUnexpected);
        if (++skipped >= 99) return Fail(kTooManyLines);
    }
}

// A refused recipient does not stop the others; the mail goes on while one is accepted.
bool CSmtpClient::SendRecipients() {
    int accepted = static_cast<int>(m_toList.size());
    for (const MailRecipient& to : m_toList) {
        if (!Command("RCPT TO:<" + to.strAddress + ">\r\n") || !ReadReply()) return false;
        if (ReplyCode() != 250) {
            --accepted;
            m_nError = kRecipientRefused;
        }
    }
    return accepted > 0;
}

// The header block, the body and the end-of-data line, then the server's verdict.
bool CSmtpClient::SendMessage() {
    if (!BuildHeader(m_pSendBuf.get())) return Fail(kHeaderFailed);
    if (!WriteBuffer()) return false;
    // A line that starts with a dot gets a second one, so that it never ends the data.
    std::string body = MessageBody();
    if (!body.empty() && body[0] == '.') body.insert(0, ".");
    for (std::size_t at = 0; (at = body.find("\r\n.", at)) != std::string::npos; at += 4)
        body.insert(at + 2, ".");
    if (!Command(body + "\r\n")) return false;
    return Step(250, kMessageRefused, "\r\n.\r\n");
}

bool CSmtpClient::Converse() {
    // 1. Connect.
    m_nConnectError = m_connection.Open(m_strServer ? m_strServer->c_str() : nullptr, m_nPort,
                                        m_nConnectTimeoutMs, m_nIoTimeoutMs);
    if (m_nConnectError != kOk) return Fail(kNoConnection);
    // 2. Greeting.
    if (!Expect(220, kNoGreeting)) return false;
    // 3. EHLO, whose reply names the server's extensions.
    const char* host = QueryLocalHostName();
    if (!Step(250, kEhloRefused, std::string("EHLO ") + (host ? host : "domain") + "\r\n"))
        return false;
    // Every line after the first names one extension.
    m_capabilities.clear();
    for (std::size_t i = 1; i < m_replyLines.size(); ++i) {
        std::string cap = m_replyLines[i].substr(std::min<std::size_t>(4, m_replyLines[i].size()));
        for (char& c : cap)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        m_capabilities.push_back(cap);
    }
    // 4. AUTH LOGIN (a server may still send more 250 lines first).
    if (!Command("AUTH LOGIN\r\n") || !WaitFor(334, 250, kAuthRefused)) return false;
    // 5. User name.
    if (!m_strUserName) return Fail(kNoUserName);
    if (!Step(334, kAuthUnexpected, EncodeBase64(*m_strUserName) + "\r\n")) return false;
    // 6. Password.
    if (!SendPassword()) return false;
    // 7. Sender.
    if (!m_strFromAddress) return Fail(kNoSender);
    if (!Step(250, kMailFromRefused, "MAIL FROM:<" + *m_strFromAddress + ">\r\n")) return false;
    // 8. Recipients, and 9. nobody to deliver to.
    if (!SendRecipients()) return false;
    // 10. DATA.
    if (!Command("DATA\r\n") || !WaitFor(354, 250, kDataRefused)) return false;
    // 11-13. Header block, body, end of data.
    if (!SendMessage()) return false;
    // 14. QUIT.
    return Step(221, kQuitRefused, "QUIT\r\n");
}

bool CSmtpClient::Send() {
    if (!m_pSendBuf || !m_pRecvBuf) return Fail(kNoMemory);

    // A message that cannot fit the send buffer is refused before any connection is made.
    std::string header;
    int composeError = 0;
    if ((Compose(header, composeError) && header.size() >= kBufferSize) ||
        MessageBody().size() + 2 >= kBufferSize)
        return Fail(kTooLarge);

    bool ok = Converse();
    m_connection.Close();  // on every path: nothing stays open
    return ok;
}

}  // namespace sentrel
