#pragma once
#include <string>
#include <vector>

#include "testsupport/TestServer.h"

namespace sentrel::test {

/// The replies a scripted SMTP server gives, command by command. A reply may hold
/// several lines; an empty reply closes the connection instead.
struct SmtpScript {
    std::string greeting = "220 test.local ESMTP\r\n";
    bool closeAfterGreeting = false;
    std::string ehlo = "250-test.local\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n";
    std::string auth = "334 VXNlcm5hbWU6\r\n";
    std::string user = "334 UGFzc3dvcmQ6\r\n";
    std::string pass = "235 Authentication successful\r\n";
    std::string mailFrom = "250 Mail OK\r\n";
    std::vector<std::string> rcpt;  // one per RCPT TO; "250 OK" when missing
    std::string data = "354 End data with <CR><LF>.<CR><LF>\r\n";
    std::string endData = "250 Queued\r\n";
    std::string quit = "221 Bye\r\n";
};

/// An SMTP server on 127.0.0.1 that replays a script and records every byte received.
class ScriptedSmtpServer {
  public:
    explicit ScriptedSmtpServer(SmtpScript script, int port = 0);
    int Port() const { return m_server.Port(); }
    bool Listening() const { return m_server.Listening(); }
    int Connections() const { return m_server.Connections(); }
    /// Everything the client sent on its (first) connection, once that connection ended.
    std::string Transcript();
    /// True once the client's (first) connection has ended, waiting up to `bound`.
    bool ConnectionEnded(std::chrono::milliseconds bound);

  private:
    void Session(TestServer::Conn& conn);
    SmtpScript m_script;
    TestServer m_server;
};

}  // namespace sentrel::test
