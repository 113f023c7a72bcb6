#include <gtest/gtest.h>

#include <cstdlib>

#include "MailProvider.h"
#include "TempDir.h"

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
