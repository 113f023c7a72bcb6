// What a user writes to find lines: a text in any case, or a /regular expression/, matched
// within a bound, by any number of threads at once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "content/TextPattern.h"

using namespace sentrel::content;

TEST(TextPattern, ATextOrAnExpressionIsFoundAsWritten) {
    struct Case {
        const char* written;
        const char* line;
        TextPattern::Found found;
    } cases[] = {
        {"In Stock", "now in stock!", TextPattern::Found::Yes},   // a text: any case
        {"a.b", "axb", TextPattern::Found::No},                    // a text's dots are dots
        {"缺货", "状态：缺货", TextPattern::Found::Yes},
        {"/^\\d+ left$/", "3 left", TextPattern::Found::Yes},
        {"/^\\d+ left$/", "only 3 left", TextPattern::Found::No},
        {"/In Stock/", "in stock", TextPattern::Found::No},         // an expression keeps its case
        {"/In Stock/i", "in stock", TextPattern::Found::Yes},
        {"/\\w+价/", "价格：特价", TextPattern::Found::Yes},       // \w knows every script
        {"/(a+)+$/", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", TextPattern::Found::TooCostly},
        {"price", "price \xff\xfe bytes", TextPattern::Found::Yes},  // bytes that are no UTF-8
    };
    for (const Case& c : cases) {
        TextPattern pattern;
        std::string message;
        std::size_t at = 0;
        ASSERT_TRUE(pattern.Compile(c.written, message, at)) << c.written << ": " << message;
        EXPECT_EQ(c.found, pattern.In(c.line)) << c.written << " in " << c.line;
        EXPECT_EQ(c.written, pattern.Written());
    }
    TextPattern bad;
    std::string message;
    std::size_t at = 0;
    EXPECT_FALSE(bad.Compile("/a(b/", message, at));
    EXPECT_NE("", message);
    EXPECT_EQ(4u, at) << "the character where it stopped, from 1";
}

TEST(TextPattern, ManyThreadsMatchOnePatternAtOnce) {
    TextPattern pattern;
    std::string message;
    std::size_t at = 0;
    ASSERT_TRUE(pattern.Compile("/price (\\d+)/i", message, at));
    std::vector<std::thread> threads;
    std::vector<int> found(8, 0);
    for (std::size_t t = 0; t < found.size(); ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                found[t] += pattern.In("Price " + std::to_string(i)) == TextPattern::Found::Yes &&
                            pattern.In("no number") == TextPattern::Found::No;
        });
    for (std::thread& t : threads) t.join();
    for (int n : found) EXPECT_EQ(2000, n);
}

TEST(TextPattern, RulesAreTheNonBlankLinesNumberedFromOne) {
    const auto lines = RuleLines("  first \r\n\n\tsecond\n   \nthird");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(std::make_pair(1, std::string("first")), lines[0]);
    EXPECT_EQ(std::make_pair(3, std::string("second")), lines[1]);
    EXPECT_EQ(std::make_pair(5, std::string("third")), lines[2]);
}
