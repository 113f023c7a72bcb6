// Ignore rules: each rule may spend a bounded effort on a line; one that needs more fails
// the page, named, rather than holding it for minutes or quietly keeping the line.
#include <gtest/gtest.h>

#include <chrono>

#include "content/IgnoreRules.h"
#include "content/PageText.h"

using namespace sentrel::content;

TEST(IgnoreRules, ARuleThatBacktracksWithoutEndIsNamedAtItsFirstLine) {
    std::string page;
    for (int i = 0; i < 1000; ++i) page += std::string(40, 'a') + "!\n";
    PageReader reader;
    std::string error, text, rule;
    ASSERT_TRUE(reader.Set("", "kept out\n/(a+)+$/\n", error)) << error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PageReader::Outcome::SlowRule, reader.Read("text/plain", page, text, {}, &rule));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ("/(a+)+$/", rule);
    EXPECT_EQ("", text);

    IgnoreRules rules;
    ASSERT_TRUE(rules.Parse("/(a+)+$/\n/^b/", error));
    const std::string line = std::string(40, 'a') + "!";
    EXPECT_EQ(IgnoreRules::Verdict::TooCostly, rules.Judge(line.data(), line.size(), &rule));
    EXPECT_EQ(IgnoreRules::Verdict::Drop, rules.Judge("aaa", 3));
    EXPECT_EQ(IgnoreRules::Verdict::Drop, rules.Judge("b!", 2));
    EXPECT_EQ(IgnoreRules::Verdict::Keep, rules.Judge("c!", 2));
}

TEST(IgnoreRules, LinesAreDroppedByTextOrExpressionInPagesAndPlainText) {
    PageReader reader;
    std::string error, text;
    ASSERT_TRUE(reader.Set("", "  visitors  \n\n/^\\d+ comments?$/\n/更新于/\n", error)) << error;
    reader.Read("text/html",
                "<p>News</p><p>12345 VISITORS today</p><p>3 comments</p><p>no 3 comments here</p>"
                "<p>更新于 10:00</p>",
                text);
    EXPECT_EQ("News\nno 3 comments here\n", text);
    // Plain text and JSON answers compare their lines, with the same rules.
    reader.Read("application/json", "{\r\n  \"visitors\": 5,\r\n  \"price\": 199\r\n}", text);
    EXPECT_EQ("{\n  \"price\": 199\n}\n", text);
}
