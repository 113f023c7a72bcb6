// A mail over TLS to the server the environment names: how the Windows build (Schannel,
// under wine) is run against the aiosmtpd servers of scripts/wintest.sh.
#include <gtest/gtest.h>

#include <cstdlib>

#include "delivery/ReminderMail.h"
#include "platform/Files.h"

using namespace sentrel;

TEST(MailOverTls, ReachesTheServerTheEnvironmentNames) {
    const std::string port = GetEnv("SENTREL_TEST_SMTP_PORT");
    if (port.empty()) GTEST_SKIP() << "no SENTREL_TEST_SMTP_PORT: run by scripts/wintest.sh";
    const MailServer server{"127.0.0.1", static_cast<std::uint16_t>(std::atoi(port.c_str())),
                            ParseMailSecurity(GetEnv("SENTREL_TEST_SMTP_SECURITY")),
                            "alice@163.com"};
    const MailResult result = SendReminderMail(server, "bob@example.com", "alice", "s3cret",
                                               "有更新！", "相关网址：http://example.com/");
    if (GetEnv("SENTREL_TEST_SMTP_EXPECT").empty()) {
        EXPECT_EQ(MailOutcome::Sent, result.outcome) << result.reason;
    } else {
        EXPECT_EQ(MailOutcome::NotSent, result.outcome);
        EXPECT_EQ(GetEnv("SENTREL_TEST_SMTP_EXPECT"), result.reason);
    }
}
