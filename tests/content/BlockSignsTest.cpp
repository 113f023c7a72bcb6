// Pages that stand in for the one asked for: bot checks, and the password fields of a
// login form.
#include <gtest/gtest.h>

#include "content/BlockSigns.h"

using namespace sentrel::content;

TEST(BlockSigns, BotChecksAreKnownByTitleOrFormAndOrdinaryPagesAreNot) {
    struct Case {
        const char* html;
        bool check;
    };
    const Case cases[] = {
        {"<html><head><title>Just a moment...</title>", true},
        {"<title>\n  Just a moment&hellip;\n</title>", true},
        {"<TITLE>Just a moment\xE2\x80\xA6</TITLE>", true},
        {"<title>Attention Required! | Cloudflare</title>", true},
        {"<title>Access denied</title>", true},
        {"<title>Access Denied - example.com</title>", true},
        {"<body><form id=\"challenge-form\" action=\"/cdn-cgi\">", true},
        {"<script>window._cf_chl_opt={cvId:'3'}</script>", true},
        {"<title>Just a moment with our team</title>", false},
        {"<title>Access denied policies explained</title>", false},
        {"<title>News</title><script src=\"/cdn-cgi/challenge-platform/scripts/jsd/main.js\"></script>", false},
        {"<title>Contact</title><div class=\"g-recaptcha\"></div>", false},
        {"plain text, no markup", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.check, LooksLikeBotCheck(c.html)) << c.html;
}

TEST(BlockSigns, PasswordFieldsCountOnlyThoseShown) {
    EXPECT_EQ(1, PasswordFields("<form><input name=u><input type=\"password\" name=p></form>"));
    EXPECT_EQ(2, PasswordFields("<INPUT TYPE='PASSWORD'><input type=password >"));
    EXPECT_EQ(0, PasswordFields("<input type=\"password\" hidden><input type=password style=\"display: none\">"));
    EXPECT_EQ(0, PasswordFields("<input type=text><p>password</p>"));
}
