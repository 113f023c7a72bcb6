// One alert mail delivered to a real SMTP server implementation (aiosmtpd) on 127.0.0.1,
// read back with Python's standard mail parser.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "AlertMailThread.h"
#include "PostRecorder.h"
#include "SmtpSink.h"
#include "TempDir.h"
#include "ThreadMessages.h"

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

    PostRecorder posts;
    AlertMailRequest request;
    request.hMainWnd = posts.Target();
    request.szEmailRcv = "bob@example.com";
    request.szSendUser = "alice";
    request.szSendPwd = "s3cret";
    request.szUrl = "http://example.com/news";
    CAlertMailThread thread(AlertMailThreadProc, &request);
    EXPECT_TRUE(thread.SendAlertMail(&request));
    UnsetEnv("SENTREL_SMTP_HOST");
    UnsetEnv("SENTREL_SMTP_PORT");

    ASSERT_TRUE(posts.WaitFor(WM_MAIL_RESULT, 1s));
    EXPECT_EQ(0, posts.Messages()[0].lParam);
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
