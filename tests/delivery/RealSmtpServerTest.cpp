// One alert mail delivered to a real SMTP server implementation (aiosmtpd) on 127.0.0.1,
// read back with Python's standard mail parser.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "base/ThreadMessages.h"
#include "delivery/AlertMailThread.h"
#include "delivery/ReminderMail.h"
#include "testsupport/PostRecorder.h"
#include "testsupport/SmtpSink.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

TEST(RealSmtpServer, ReceivesTheAlertMail) {
    TempDir dir;
    const std::string out = dir.File("message.txt");
    SmtpSink sink(out);
    ASSERT_TRUE(sink.Ready()) << "the SMTP server did not start (python3-aiosmtpd?)";
    SetEnv("SENTREL_SMTP_HOST", "127.0.0.1");
    SetEnv("SENTREL_SMTP_PORT", sink.Port().c_str());

    PostRecorder<MailResult> posts;
    AlertMailRequest request;
    request.hMainWnd = posts.Target();
    request.szEmailRcv = "bob@example.com";
    request.szSendUser = "alice";
    request.szSendPwd = "s3cret";
    request.server = ResolveMailServer("", 0, "ssl", "", "alice");
    request.szUrl = "http://example.com/news";
    CAlertMailThread thread(&request);
    EXPECT_TRUE(thread.SendAlertMail(&request));
    UnsetEnv("SENTREL_SMTP_HOST");
    UnsetEnv("SENTREL_SMTP_PORT");

    ASSERT_TRUE(posts.WaitFor(1s));
    EXPECT_EQ(MailOutcome::Sent, posts.Messages()[0].value.outcome) << posts.Messages()[0].value.reason;
    EXPECT_EQ(0, sink.Stop());

    std::istringstream fields(ReadFile(out));
    std::string mailFrom, rcpt, from, to, subject;
    std::getline(fields, mailFrom);
    std::getline(fields, rcpt);
    std::getline(fields, from);
    std::getline(fields, to);
    std::getline(fields, subject);
    std::string body((std::istreambuf_iterator<char>(fields)), std::istreambuf_iterator<char>());
    EXPECT_EQ("alice@163.com", mailFrom);
    EXPECT_EQ("bob@example.com", rcpt);
    EXPECT_EQ("网页更新提醒 <alice@163.com>", from);
    EXPECT_EQ("bob@example.com", to);  // as the parser reads the address
    EXPECT_EQ(0u, subject.find("有更新！"));
    EXPECT_EQ(0u, body.find("相关网址：http://example.com/news\r\n更新时间："));
    EXPECT_NE(std::string::npos, body.find("\r\n\r\n无需回复本邮件！"));
}

TEST(RealSmtpServer, TlsMailIsVerifiedAndNoPasswordTravelsInTheClear) {
    struct Case {
        const char* server;     // the sink's mode
        MailSecurity security;  // what the user chose
        bool trusted;           // the client trusts the sink's CA
        const char* password;
        const char* reason;  // empty: delivered
    } cases[] = {
        {"starttls", MailSecurity::kStartTls, true, "s3cret", ""},
        {"implicit", MailSecurity::kSsl, true, "s3cret", ""},
        {"plain-only", MailSecurity::kStartTls, true, "s3cret", "服务器不支持 STARTTLS"},
        {"starttls", MailSecurity::kStartTls, false, "s3cret", "证书无效"},
        {"implicit", MailSecurity::kSsl, false, "s3cret", "证书无效"},
        {"implicit", MailSecurity::kSsl, true, "wrong", "535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + (c.trusted ? "" : ", untrusted") + ", " + c.password);
        TempDir dir;
        const std::string out = dir.File("message.txt");
        SmtpSink sink(out, c.server);
        ASSERT_TRUE(sink.Ready()) << "the SMTP server did not start (python3-aiosmtpd, openssl?)";
        TempDir other;
        TestCerts stranger(other.Path());  // a CA that signed nothing of the sink's
        SetEnv("CURL_CA_BUNDLE", c.trusted ? dir.File("ca.pem") : stranger.CaFile());
        MailServer server{"127.0.0.1", static_cast<std::uint16_t>(std::stoi(sink.Port())),
                          c.security, "alice@163.com"};
        const MailResult result = SendReminderMail(server, "bob@example.com", "alice", c.password,
                                                   "有更新！", "相关网址：http://example.com/");
        UnsetEnv("CURL_CA_BUNDLE");
        const bool delivered = *c.reason == '\0';
        EXPECT_EQ(delivered ? MailOutcome::Sent : MailOutcome::NotSent, result.outcome);
        EXPECT_EQ(0u, result.reason.find(c.reason)) << result.reason;
        EXPECT_EQ(delivered ? 1 : 0, sink.Delivered());
        const std::string auth = ReadFile(out + ".auth");
        if (!c.trusted || std::string(c.server) == "plain-only") {
            EXPECT_EQ("", auth) << "no AUTH without verified TLS";
        }
        if (delivered) {
            EXPECT_EQ(0, sink.Stop());
            EXPECT_NE(std::string::npos,
                      ReadFile(out).find("有更新！\n相关网址：http://example.com/"));
        }
    }
}
