// Alert conditions and the number of a page they read.
#include <gtest/gtest.h>

#include <cmath>

#include "model/AlertRules.h"
#include "model/PageNumber.h"

using namespace sentrel;

TEST(PageNumber, PricesAreReadAsPeopleWriteThem) {
    struct Case {
        const char* text;
        bool found;
        double value;
    } cases[] = {
        {"1,299.00", true, 1299},         {"1.299,00", true, 1299},
        {"1 299,00 €", true, 1299},       {"1,299", true, 1299},
        {"12,5", true, 12.5},             {"12.50", true, 12.5},
        {"价格：１２９９元", true, 1299}, {"Price: $-3.5 off", true, -3.5},
        {"-12", true, -12},               {"No-12 stock", true, -12},
        {"1\u00a0299,99", true, 1299.99}, {"1\u2009299", true, 1299},
        {"1'299.50 CHF", true, 1299.5},   {"12.345.678", true, 12345678},
        {"1,2345", true, 1.2345},         {"€ 0,99", true, 0.99},
        {"v2 costs 30", true, 2},         {"no number here", false, 0},
        {"", false, 0},                   {"1.299,00 and 5", true, 1299},
        {"3 items", true, 3},             {"99.", true, 99},
    };
    for (const Case& c : cases) {
        double value = -999;
        EXPECT_EQ(c.found, FirstNumber(c.text, value)) << c.text;
        if (c.found) {
            EXPECT_DOUBLE_EQ(c.value, value) << c.text;
        }
    }
    double v = 0;
    EXPECT_TRUE(ReadNumber("1,000", v));
    EXPECT_EQ(1000, v);
    EXPECT_FALSE(ReadNumber("100 yuan", v)) << "a condition's number is all of it";
    EXPECT_EQ("1299", NumberText(1299));
    EXPECT_EQ("12.5", NumberText(12.5));
}

TEST(AlertRules, BadRulesAreRefusedNamingTheirLineAndProblem) {
    struct Case {
        const char* rules;
        const char* names;
    } cases[] = {
        {"price:5", "第 1 行"},
        {"added:x\n\nbelow:cheap", "第 3 行"},
        {"added:", "added:"},
        {"change:5", "change:"},
        {"change:-5%", "-5%"},
        {"added:/(unclosed/", "第 1 行"},
        {"nothing at all", "nothing at all"},
    };
    for (const Case& c : cases) {
        AlertRules rules;
        std::string error;
        EXPECT_FALSE(rules.Parse(c.rules, error)) << c.rules;
        EXPECT_NE(std::string::npos, error.find(c.names)) << c.rules << ": " << error;
    }
    AlertRules rules;
    std::string error;
    ASSERT_TRUE(rules.Parse("  added:In Stock \r\n\nbelow: 1.299,00\nchange:2,5%\n", error)) << error;
    EXPECT_EQ((std::vector<std::string>{"added:In Stock", "below: 1.299,00", "change:2,5%"}),
              rules.Written());
    ASSERT_TRUE(rules.Parse("", error));
    EXPECT_TRUE(rules.Empty());
}

TEST(AlertRules, EachConditionIsMetExactlyWhenItShouldBe) {
    struct Case {
        const char* rule;
        const char* before;
        const char* now;
        std::vector<std::string> added, removed;
        double base;  // NAN: none
        bool met;
    } cases[] = {
        {"added:in stock", "", "", {"Now IN STOCK"}, {}, NAN, true},
        {"added:in stock", "", "", {}, {"in stock"}, NAN, false},
        {"added:/^\\d+ left$/", "", "", {"3 left"}, {}, NAN, true},
        {"added:/^\\d+ left$/", "", "", {"only 3 left"}, {}, NAN, false},
        {"added:/In Stock/i", "", "", {"in stock"}, {}, NAN, true},
        {"removed:缺货", "", "", {}, {"状态：缺货"}, NAN, true},
        {"appears:in stock", "sold out\n", "In stock\n", {}, {}, NAN, true},
        {"appears:in stock", "in stock\n", "in stock!\n", {}, {}, NAN, false},
        {"disappears:缺货", "缺货\n", "有货\n", {}, {}, NAN, true},
        {"disappears:缺货", "有货\n", "有货了\n", {}, {}, NAN, false},
        {"below:100", "¥120\n", "¥99,90\n", {}, {}, NAN, true},
        {"below:100", "¥99\n", "¥98\n", {}, {}, NAN, false},
        {"below:100", "¥120\n", "¥100\n", {}, {}, NAN, false},
        {"below:100", "no price\n", "¥90\n", {}, {}, NAN, true},
        {"below:100", "¥120\n", "sold out\n", {}, {}, NAN, false},
        {"above:1000", "1.000,00\n", "1.000,01\n", {}, {}, NAN, true},
        {"above:1000", "1001\n", "1500\n", {}, {}, NAN, false},
        {"change:10%", "", "110\n", {}, {}, 100, true},
        {"change:10%", "", "90\n", {}, {}, 100, true},
        {"change:10%", "", "109.9\n", {}, {}, 100, false},
        {"change:10%", "", "109.9\n", {}, {}, NAN, false},
        {"change:10%", "", "none\n", {}, {}, 100, false},
        {"change:10%", "", "5\n", {}, {}, 0, true},
    };
    for (const Case& c : cases) {
        AlertRules rules;
        std::string error;
        ASSERT_TRUE(rules.Parse(c.rule, error)) << error;
        const std::string before = c.before, now = c.now;
        const bool haveBase = !std::isnan(c.base);
        const std::string met =
            rules.Met({before, now, c.added, c.removed, haveBase, haveBase ? c.base : 0});
        EXPECT_EQ(c.met ? c.rule : "", met) << c.rule << " " << c.before << "→" << c.now;
    }
    // The first that is met names the change.
    AlertRules two;
    std::string error;
    ASSERT_TRUE(two.Parse("added:zzz\nbelow:50\nappears:sale", error));
    const std::string before = "80\n", now = "40 sale\n";
    EXPECT_EQ("below:50", two.Met({before, now, {"40 sale"}, {"80"}, false, 0}));
    EXPECT_EQ((std::vector<AlertRules::Standing>{AlertRules::Standing::NotMet,
                                                 AlertRules::Standing::Met,
                                                 AlertRules::Standing::Met}),
              two.Now(now));
    ASSERT_TRUE(two.Parse("removed:x\nchange:5%\ndisappears:x", error));
    EXPECT_EQ((std::vector<AlertRules::Standing>{AlertRules::Standing::AtAChange,
                                                 AlertRules::Standing::AtAChange,
                                                 AlertRules::Standing::Met}),
              two.Now("y\n"));
}
