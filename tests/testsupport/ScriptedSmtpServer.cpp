#include "testsupport/ScriptedSmtpServer.h"

#include <thread>

namespace sentrel::test {

ScriptedSmtpServer::ScriptedSmtpServer(SmtpScript script, int port)
    : m_script(std::move(script)),
      m_server([this](TestServer::Conn& c) { Session(c); }, nullptr, port) {}

void ScriptedSmtpServer::Session(TestServer::Conn& conn) {
    const SmtpScript& s = m_script;
    auto reply = [&conn](const std::string& text) {
        if (text.empty()) {
            conn.Close();
            return false;
        }
        return conn.Write(text);
    };
    if (!reply(s.greeting)) return;
    if (s.closeAfterGreeting) {
        conn.Close();
        return;
    }
    bool userDone = false;
    std::size_t rcpt = 0;
    std::string line;
    while (conn.ReadLine(line)) {
        bool ok;
        if (line.rfind("EHLO", 0) == 0) {
            ok = reply(s.ehlo);
        } else if (line.rfind("AUTH", 0) == 0) {
            ok = reply(s.auth);
        } else if (line.rfind("MAIL FROM", 0) == 0) {
            ok = reply(s.mailFrom);
        } else if (line.rfind("RCPT TO", 0) == 0) {
            ok = reply(rcpt < s.rcpt.size() ? s.rcpt[rcpt] : "250 OK\r\n");
            ++rcpt;
        } else if (line.rfind("DATA", 0) == 0) {
            ok = reply(s.data);
            std::string message;
            if (ok && s.data.rfind("354", 0) == 0) {
                if (!conn.ReadUntil("\r\n.\r\n", message)) return;
                ok = reply(s.endData);
            }
        } else if (line.rfind("QUIT", 0) == 0) {
            reply(s.quit);
            conn.Close();
            return;
        } else {
            ok = reply(userDone ? s.pass : s.user);  // the two Base64 credential lines
            userDone = true;
        }
        if (!ok) return;
    }
}

bool ScriptedSmtpServer::ConnectionEnded(std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (m_server.Transcripts().empty()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string ScriptedSmtpServer::Transcript() {
    ConnectionEnded(std::chrono::seconds(5));
    auto all = m_server.Transcripts();
    return all.empty() ? std::string() : all.front();
}

}  // namespace sentrel::test
