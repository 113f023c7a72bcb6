// The SMTP client's connection against servers on 127.0.0.1: where it connects, and how
// long it waits for a server that is slow or silent.
#include <gtest/gtest.h>

#include <chrono>

#include "delivery/SmtpClient.h"
#include "testsupport/ScriptedSmtpServer.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(SmtpClient, ConnectionFailuresLeave106) {
    CSmtpClient bad;
    bad.SetServer("1abc", 25);
    bad.SetUserName("a");
    bad.SetPassword("b");
    bad.SetFromAddress("a@163.com");
    bad.SetSubject("s");
    bad.SetBody("b");
    bad.AddTo("x@example.com", nullptr);
    EXPECT_FALSE(bad.Send());
    EXPECT_EQ(CSmtpClient::kNoConnection, bad.GetError());

    CSmtpClient direct;
    EXPECT_EQ(kNoSocket, direct.OpenConnection("1abc", 25));
    EXPECT_EQ(CSmtpClient::kBadAddress, direct.GetError());
    EXPECT_EQ(kNoSocket, direct.OpenConnection("no-such-host.invalid", 25));
    EXPECT_EQ(CSmtpClient::kHostUnknown, direct.GetError());

    RefusingPort refused;
    EXPECT_EQ(kNoSocket,
              direct.OpenConnection("127.0.0.1", static_cast<std::uint16_t>(refused.Port())));
    EXPECT_EQ(CSmtpClient::kConnectFailed, direct.GetError());
}

TEST(SmtpClient, PortZeroUsesTheMailService) {
    ScriptedSmtpServer server(SmtpScript{}, 25);
    if (!server.Listening()) GTEST_SKIP() << "port 25 is taken or not allowed here";
    CSmtpClient mail;
    SocketHandle s = mail.OpenConnection("127.0.0.1", 0);
    ASSERT_NE(kNoSocket, s);
    CloseSocket(s);
}

TEST(SmtpClient, SilentServerTimesOut) {
    TestServer silent([](TestServer::Conn& c) { c.Sleep(std::chrono::seconds(20)); });
    CSmtpClient mail;
    mail.SetServer("127.0.0.1", static_cast<std::uint16_t>(silent.Port()));
    mail.SetTimeouts(1000, 300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(CSmtpClient::kRecvFailed, mail.GetError());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(SmtpClient, ADrippingServerMeetsOneDeadlinePerReply) {
    // One byte every 300 ms keeps a per-byte time-out from ever running out.
    TestServer drip([](TestServer::Conn& c) {
        while (c.Write("2") && c.Sleep(std::chrono::milliseconds(300))) {
        }
    });
    CSmtpClient mail;
    mail.SetServer("127.0.0.1", static_cast<std::uint16_t>(drip.Port()));
    mail.SetTimeouts(1000, 1000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(CSmtpClient::kRecvFailed, mail.GetError());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800));

    // Continuation lines, one every 300 ms, share the reply's one deadline.
    TestServer lines([](TestServer::Conn& c) {
        while (c.Write("220-still here\r\n") && c.Sleep(std::chrono::milliseconds(300))) {
        }
    });
    CSmtpClient slow;
    slow.SetServer("127.0.0.1", static_cast<std::uint16_t>(lines.Port()));
    slow.SetTimeouts(1000, 1000);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(slow.Send());
    EXPECT_EQ(CSmtpClient::kRecvFailed, slow.GetError());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800));
}

TEST(SmtpClient, TimeoutsReachTheSocketInMilliseconds) {
    // Windows takes a DWORD of milliseconds where POSIX takes a timeval: 5 s must stay 5 s.
    ScriptedSmtpServer server(SmtpScript{});
    CSmtpClient mail;
    mail.SetTimeouts(1000, 5000);
    SocketHandle s = mail.OpenConnection("127.0.0.1", static_cast<std::uint16_t>(server.Port()));
    ASSERT_NE(kNoSocket, s);
    EXPECT_EQ(5000, SocketReceiveTimeout(s));
    CloseSocket(s);
}
