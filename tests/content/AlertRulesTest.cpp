// Alert conditions, the number of a page they read, and what a version keeps of a change.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

#include "AlertRules.h"
#include "LineDiff.h"
#include "PageNumber.h"

using namespace sentrel::content;

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

TEST(LineDiff, AVersionKeptAsADeltaMakesItsTextExactlyOrIsKeptWhole) {
    std::string page;
    for (int i = 0; i < 300; ++i) page += "line " + std::to_string(i) + "\n";
    std::string edited = page;
    edited.replace(edited.find("line 7\n"), 7, "line seven\nand one more\n");
    edited.erase(edited.find("line 200\n"), 9);
    // A catalogue edited at three lines far apart: more between them than an exact script
    // takes, and still a delta, by the lines that stand still.
    std::vector<std::string> items;
    for (int i = 0; i < 12000; ++i) items.push_back("item " + std::to_string(i) + " costs " + std::to_string(i % 97));
    auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    };
    const std::string catalogue = joined(items);
    for (int at : {100, 4000, 9000}) items[static_cast<std::size_t>(at)] += " (sold out)";
    items.insert(items.begin() + 6000, "a new item");
    const std::string far = joined(items);
    std::reverse(items.begin(), items.end());
    const std::string reversed = joined(items);
    struct Case {
        std::string from, to;
        bool delta;
    } cases[] = {
        {page, edited, true},
        {edited, page, true},
        {page, page, true},
        {page, "all new\n", false},
        {"", page, false},
        {catalogue, far, true},
        {far, catalogue, true},
        {far, reversed, false},  // every line moved: kept whole
    };
    for (const Case& c : cases) {
        const std::string delta = LineDelta(c.from, c.to);
        EXPECT_EQ(c.delta, !delta.empty()) << c.to.substr(0, 20);
        std::string back;
        if (!delta.empty()) {
            ASSERT_TRUE(ApplyLineDelta(c.from, delta, back));
            EXPECT_EQ(c.to, back);
            EXPECT_LT(delta.size() * 4, c.to.size());
        }
    }
    std::string out;
    EXPECT_FALSE(ApplyLineDelta("a\n", "=5\n", out)) << "beyond the text it is made of";
    EXPECT_FALSE(ApplyLineDelta("a\n", "*1\n", out));
    EXPECT_FALSE(ApplyLineDelta("a\nb\n", "=1\n", out)) << "the rest of the text not placed";
}

TEST(LineDiff, AChangedLineIsToldByItsWords) {
    struct Case {
        const char* before;
        const char* after;
        const char* marks;
    } cases[] = {
        {"price 199 now", "price 299 now", "price [-199-] {+299+} now"},
        {"a b c", "a c", "a [-b-] c"},
        {"a c", "a b c", "a {+b+} c"},
        {"价格：１２９９元", "价格：１１９９元", "价格：１[-２-]{+１+}９９元"},
        {"same", "same", "same"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.marks, WordMarks(DiffWords(c.before, c.after))) << c.before;
    // Removed lines followed by added ones pair up; the rest came or went.
    const std::vector<ShownLine> shown =
        ShownChanges(DiffLines("keep\nold 1\nold 2\ngone\n", "keep\nnew 1\nnew 2\n"), true);
    std::vector<std::string> text;
    for (const ShownLine& line : shown) text.push_back(ShownText(line));
    EXPECT_EQ((std::vector<std::string>{"~ [-old-] {+new+} 1", "~ [-old-] {+new+} 2", "- gone"}),
              text);
    EXPECT_EQ(3u, ShownChanges(DiffLines("a\n", "b\nc\n"), false).size());
    // A line of very many words is told whole, at once.
    std::string many, other;
    for (int i = 0; i < 30000; ++i) many += "w" + std::to_string(i) + " ", other += "v" + std::to_string(i) + " ";
    EXPECT_EQ(2u, DiffWords(many, other).size());
}

TEST(LineDiff, AComparisonsWordsAreBoundedAndWhatIsPastTheBoundIsShownWhole) {
    // 34 changed lines of 9,999 words each: word by word, each pair takes a good part of a
    // second; a comparison takes the first few that fit its bound.
    std::string before, after;
    for (int line = 0; line < 34; ++line) {
        for (int w = 0; w < 9999; ++w) {
            before += "w" + std::to_string((w * 7 + line) % 50) + " ";
            after += "w" + std::to_string((w * 13 + line) % 50) + " ";
        }
        before += "\n";
        after += "\n";
    }
    const auto start = std::chrono::steady_clock::now();
    const std::vector<ShownLine> shown = ShownChanges(DiffLines(before, after), true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    std::size_t changed = 0, whole = 0;
    for (const ShownLine& line : shown) (line.kind == ShownLine::kChanged ? changed : whole) += 1;
    EXPECT_EQ(2u, changed) << "the words of two pairs fit";
    EXPECT_EQ(64u, whole) << "the other 32 pairs, each line whole";
    const WordBounds quick{40000, std::chrono::milliseconds(0)};
    for (const ShownLine& line : ShownChanges(DiffLines(before, after), true, false, quick))
        EXPECT_NE(ShownLine::kChanged, line.kind) << "no time: every line whole";
}
