// Alert mails: one thread per update, one WM_MAIL_RESULT per thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>

#include "base/WorkerGroup.h"
#include "delivery/AlertMailThread.h"
#include "delivery/ReminderMail.h"
#include "delivery/SmtpClient.h"
#include "delivery/SocketLayer.h"
#include "platform/Files.h"
#include "platform/Keyring.h"
#include "testsupport/English.h"
#include "testsupport/PostRecorder.h"
#include "testsupport/ScriptedSmtpServer.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

class AlertMail : public ::testing::Test {
  protected:
    void UseServer(const ScriptedSmtpServer& server) {
        SetEnv("SENTREL_SMTP_HOST", "127.0.0.1");
        SetEnv("SENTREL_SMTP_PORT", std::to_string(server.Port()).c_str());
    }
    void TearDown() override {
        UnsetEnv("SENTREL_SMTP_HOST");
        UnsetEnv("SENTREL_SMTP_PORT");
        SetSocketStartupFailsForTesting(false);
    }
    void Start(const std::string& url) {
        AlertMailRequest req;
        req.hMainWnd = m_posts.Target();
        req.szEmailRcv = "watcher@example.com";
        req.szSendUser = "alice";
        req.szSendPwd = "pw";
        req.server = ResolveMailServer("", 0, "ssl", "", "alice");  // the test server, plain
        req.szUrl = url;
        ASSERT_TRUE(StartAlertMailThread(req, m_workers));
    }
    std::vector<MailOutcome> Results() {
        EXPECT_TRUE(m_workers.JoinAll(2s));
        std::vector<MailOutcome> out;
        for (const auto& m : m_posts.Messages()) out.push_back(m.value.outcome);
        return out;
    }
    PostRecorder<MailResult> m_posts;
    WorkerGroup m_workers;
};

}  // namespace

TEST_F(AlertMail, ComposesTheAlertAndReportsSuccess) {
    ScriptedSmtpServer server(SmtpScript{});
    UseServer(server);
    const std::string url = "http://example.com/a?b=1&c=%20";
    Start(url);
    ASSERT_TRUE(m_posts.WaitFor(10s));
    EXPECT_EQ(std::vector<MailOutcome>{MailOutcome::Sent}, Results());

    std::string t = server.Transcript();
    EXPECT_NE(std::string::npos, t.find("\r\nYWxpY2U=\r\n")) << "login name as stored";
    EXPECT_NE(std::string::npos, t.find("MAIL FROM:<alice@163.com>\r\n"));
    EXPECT_NE(std::string::npos, t.find("RCPT TO:<watcher@example.com>\r\n"));
    EXPECT_NE(std::string::npos, t.find("\r\nFrom: =?UTF-8?B?" + EncodeBase64("网页更新提醒") +
                                        "?= <alice@163.com>\r\n"));
    EXPECT_NE(std::string::npos, t.find("\r\nX-Mailer: Foxmail v6.5\r\n"));
    EXPECT_NE(std::string::npos, t.find("\r\nReply-To: alice@163.com\r\n"));
    EXPECT_NE(std::string::npos, t.find("\r\nX-Priority: 3 (Normal)\r\n"));
    EXPECT_NE(std::string::npos, t.find("\r\nTo: <watcher@example.com>\r\n"));

    std::smatch m;
    const std::string stamp = "(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})";
    ASSERT_TRUE(std::regex_search(t, m, std::regex("\r\n更新时间：" + stamp + "\r\n")));
    const std::string when = m[1];
    std::string body = "\r\n\r\n相关网址：" + url + "\r\n更新时间：" + when +
                       "\r\n\r\n无需回复本邮件！\r\n\r\n.\r\n";
    EXPECT_NE(std::string::npos, t.find(body));
    EXPECT_NE(std::string::npos,
              t.find("\r\nSubject: =?UTF-8?B?" + EncodeBase64("有更新！" + when) + "?=\r\n"))
        << "the subject carries the body's time";
}

TEST_F(AlertMail, SocketStartupFailureReportsMinusTwoWithoutConnecting) {
    ScriptedSmtpServer server(SmtpScript{});
    UseServer(server);
    SetSocketStartupFailsForTesting(true);
    Start("http://example.com/");
    ASSERT_TRUE(m_posts.WaitFor(5s));
    EXPECT_EQ(std::vector<MailOutcome>{MailOutcome::NoClient}, Results());
    EXPECT_EQ(0, server.Connections());
}

TEST_F(AlertMail, EachMailReportsItsOwnResultAndReason) {
    // Two mails at once, refused by different servers for different reasons: each result
    // carries its own, whichever ends first.
    SmtpScript login;
    login.pass = "535 Error: authentication failed\r\n";
    SmtpScript recipient;
    recipient.rcpt = {"550 Mailbox unavailable\r\n"};
    ScriptedSmtpServer refusesLogin(login), refusesRecipient(recipient);
    for (const ScriptedSmtpServer* server : {&refusesLogin, &refusesRecipient}) {
        AlertMailRequest req;
        req.hMainWnd = m_posts.Target();
        req.szEmailRcv = "watcher@example.com";
        req.szSendUser = "alice";
        req.szSendPwd = "pw";
        req.server = {"127.0.0.1", static_cast<std::uint16_t>(server->Port()), MailSecurity::kNone,
                      "alice@163.com"};
        req.szUrl = "http://example.com/";
        ASSERT_TRUE(StartAlertMailThread(req, m_workers));
    }
    ASSERT_TRUE(m_posts.WaitUntil([](const auto& all) { return all.size() == 2; }, 10s));
    std::vector<std::string> reasons;
    for (const auto& m : m_posts.Messages()) {
        EXPECT_EQ(MailOutcome::NotSent, m.value.outcome);
        reasons.push_back(m.value.reason);
    }
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(
        (std::vector<std::string>{"535 Error: authentication failed", "550 Mailbox unavailable"}),
        reasons);
}

TEST_F(AlertMail, TwoQuickAlertsGiveTwoResults) {
    ScriptedSmtpServer server(SmtpScript{});
    UseServer(server);
    Start("http://example.com/one");
    Start("http://example.com/two");
    ASSERT_TRUE(m_posts.WaitUntil([](const auto& all) { return all.size() >= 2; }, 10s));
    EXPECT_EQ((std::vector<MailOutcome>{MailOutcome::Sent, MailOutcome::Sent}), Results());
    EXPECT_EQ(2, server.Connections());
}

TEST(AlertTime, IsLocalTimeInIsoOrder) {
    SetEnv("TZ", "UTC");
    tzset();
    EXPECT_EQ("2026-12-06 09:05:03", FormatAlertTime(1796547903));
}

TEST(AlertMailText, FailureAndRecoveryMailsSayWhatHappened) {
    struct Case {
        EventKind kind;
        const char* subject;
        const char* body;
        const char* changes = "";
    } cases[] = {
        {EventKind::Changed, "有更新！2026-12-07 10:00:00",
         "相关网址：http://a/\r\n更新时间：2026-12-07 10:00:00\r\n\r\n无需回复本邮件！"},
        {EventKind::Changed, "有更新！2026-12-07 10:00:00",
         "相关网址：http://a/\r\n- 199\r\n+ 299\r\n更新时间：2026-12-07 10:00:00\r\n\r\n无需回复本邮件！",
         "- 199\r\n+ 299\r\n"},
        {EventKind::Failing, "访问失败！2026-12-07 10:00:00",
         "相关网址：http://a/\r\n原因：HTTP 404\r\n时间：2026-12-07 "
         "10:00:00\r\n\r\n无需回复本邮件！"},
        {EventKind::Recovered, "已恢复！2026-12-07 10:00:00",
         "相关网址：http://a/\r\n恢复时间：2026-12-07 10:00:00\r\n\r\n无需回复本邮件！"},
    };
    for (const Case& c : cases) {
        AlertMailRequest request;
        request.nKind = c.kind;
        request.szUrl = "http://a/";
        request.szReason = "HTTP 404";
        request.szChanges = c.changes;
        std::string subject, body;
        ComposeAlertMail(request, "2026-12-07 10:00:00", subject, body);
        EXPECT_EQ(c.subject, subject);
        EXPECT_EQ(c.body, body);
    }
}

#ifndef _WIN32
TEST_F(AlertMail, APasswordTheKeyringCannotGiveFailsTheMailWithThatReason) {
    // No keyring answers on a bus that is not there: the mail says why, at once.
    TempDir dir;
    const std::string bus = GetEnv("DBUS_SESSION_BUS_ADDRESS");
    SetEnv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.File("no-bus")).c_str());
    std::string password = "typed", reason;
    EXPECT_TRUE(MailPassword("smtp.example.com", "alice", password, reason));
    EXPECT_EQ("typed", password) << "a password given is used as it is";
    password.clear();
    EXPECT_FALSE(MailPassword("smtp.example.com", "alice", password, reason));
    EXPECT_EQ("无法读取密钥环中的密码", reason);
    if (bus.empty())
        UnsetEnv("DBUS_SESSION_BUS_ADDRESS");
    else
        SetEnv("DBUS_SESSION_BUS_ADDRESS", bus.c_str());
}
#endif

TEST(AlertMailText, InEnglishTheMailSaysTheSameInEnglish) {
    InEnglish english;
    ASSERT_TRUE(english.Ok()) << "the build made no English catalog";
    AlertMailRequest request;
    request.nKind = EventKind::Changed;
    request.szUrl = "http://a/";
    request.szChanges = "- 199\r\n+ 299\r\n";
    std::string subject, body;
    ComposeAlertMail(request, "2026-12-07 10:00:00", subject, body);
    EXPECT_EQ("Changed! 2026-12-07 10:00:00", subject);
    EXPECT_EQ("URL: http://a/\r\n- 199\r\n+ 299\r\nChanged at: 2026-12-07 10:00:00\r\n\r\nNo need "
              "to reply to this mail!",
              body);
    request.nKind = EventKind::Failing;
    request.szReason = Tr("连接被拒绝");
    ComposeAlertMail(request, "2026-12-07 10:00:00", subject, body);
    EXPECT_EQ("Failing! 2026-12-07 10:00:00", subject);
    EXPECT_NE(std::string::npos, body.find("Reason: connection refused\r\n")) << body;
}
