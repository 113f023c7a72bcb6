#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "delivery/MailProvider.h"
#include "delivery/ReminderMail.h"
#include "testsupport/ScriptedSmtpServer.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(MailProvider, UserNameIsStoredLowerCaseWithoutTheProviderDomain) {
    const std::string suffix = g_szMailSuffix;
    std::string upper = suffix;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ("alice", NormaliseSendUser("Alice" + upper));
    EXPECT_EQ("alice", NormaliseSendUser("ALICE" + suffix));
    EXPECT_EQ("bob@example.com", NormaliseSendUser("Bob@Example.com"));
    EXPECT_EQ("", NormaliseSendUser(suffix));
    EXPECT_EQ("ab", NormaliseSendUser("a" + suffix + "b" + suffix));
    EXPECT_EQ("张三", NormaliseSendUser("张三" + suffix));
}

TEST(MailProvider, EnvironmentOverridesHostAndPort) {
    UnsetEnv("SENTREL_SMTP_HOST");
    UnsetEnv("SENTREL_SMTP_PORT");
    EXPECT_EQ(g_szSmtpHost, SmtpHost());
    EXPECT_EQ(25, SmtpPort());
    SetEnv("SENTREL_SMTP_HOST", "relay.local");
    SetEnv("SENTREL_SMTP_PORT", "2525");
    EXPECT_EQ("relay.local", SmtpHost());
    EXPECT_EQ(2525, SmtpPort());
    SetEnv("SENTREL_SMTP_PORT", "99999");
    EXPECT_EQ(25, SmtpPort()) << "an impossible port is ignored";
    UnsetEnv("SENTREL_SMTP_HOST");
    UnsetEnv("SENTREL_SMTP_PORT");
}

TEST(MailProvider, TheServerOfTheSettingsWithItsDefaults) {
    UnsetEnv("SENTREL_SMTP_HOST");
    UnsetEnv("SENTREL_SMTP_PORT");
    struct Case {
        const char *host, *security, *from;
        int port;
        const char* wantHost;
        int wantPort;
        MailSecurity wantSecurity;
        const char* wantFrom;
    } cases[] = {
        {"", "", "", 0, g_szSmtpHost, 465, MailSecurity::kSsl, "alice@163.com"},
        {"", "starttls", "", 0, g_szSmtpHost, 587, MailSecurity::kStartTls, "alice@163.com"},
        {"mail.example.com", "none", "me@example.com", 0, "mail.example.com", 25,
         MailSecurity::kNone, "me@example.com"},
        {"mail.example.com", "ssl", "", 2465, "mail.example.com", 2465, MailSecurity::kSsl,
         "alice@163.com"},
        {"", "bogus", "", 70000, g_szSmtpHost, 465, MailSecurity::kSsl, "alice@163.com"},
    };
    for (const Case& c : cases) {
        const MailServer s = ResolveMailServer(c.host, c.port, c.security, c.from, "alice");
        EXPECT_EQ(c.wantHost, s.host) << c.host;
        EXPECT_EQ(c.wantPort, s.port) << c.host << " " << c.security;
        EXPECT_EQ(c.wantSecurity, s.security) << c.security;
        EXPECT_EQ(c.wantFrom, s.from);
    }
    // A relay or test server named in the environment is plain unless told otherwise.
    SetEnv("SENTREL_SMTP_HOST", "relay.local");
    EXPECT_EQ(MailSecurity::kNone, ResolveMailServer("", 0, "ssl", "", "a").security);
    EXPECT_EQ(25, ResolveMailServer("", 0, "ssl", "", "a").port);
    SetEnv("SENTREL_SMTP_SECURITY", "starttls");
    EXPECT_EQ(587, ResolveMailServer("x", 0, "none", "", "a").port);
    UnsetEnv("SENTREL_SMTP_SECURITY");
    UnsetEnv("SENTREL_SMTP_HOST");
    EXPECT_FALSE(IsLoopbackHost("mail.example.com"));
    EXPECT_TRUE(IsLoopbackHost("127.0.0.1") && IsLoopbackHost("localhost"));
}

TEST(MailProvider, AFailedMailSaysWhyAndACancelledOneEndsAtOnce) {
    SmtpScript refused;
    refused.pass = "535 Error: authentication failed\r\n";
    ScriptedSmtpServer server(refused);
    TestServer silent([](TestServer::Conn& c) { c.Sleep(std::chrono::seconds(30)); });
    RefusingPort closed;
    auto send = [](int port, const std::atomic<bool>* cancel = nullptr) {
        MailServer s{"127.0.0.1", static_cast<std::uint16_t>(port), MailSecurity::kNone, "a@b.c"};
        const MailResult result =
            SendReminderMail(s, "r@x.cn", "alice", "pw", "subject", "body", cancel);
        EXPECT_EQ(MailOutcome::NotSent, result.outcome);
        return result.reason;
    };
    EXPECT_EQ("535 Error: authentication failed", send(server.Port()));
    EXPECT_EQ("连接被拒绝", send(closed.Port()));
    std::atomic<bool> cancel{false};
    std::thread giveUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("已取消", send(silent.Port(), &cancel));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    giveUp.join();
}
