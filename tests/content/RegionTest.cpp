// A region, ignore rules, the text's hash and what changed.
#include <gtest/gtest.h>

#include "LineDiff.h"
#include "PageText.h"
#include "Selector.h"

using namespace sentrel::content;

namespace {
const char* kPage =
    "<html><head><title>T</title></head><body>"
    "<div id='main' class='news big'><h1>Head</h1>"
    "<ul><li>one</li><li class='x'>two</li><li>three</li><li>four</li></ul>"
    "<p lang='en-US' data-k='abcdef'>para</p><span>after p</span><em>em</em></div>"
    "<div class='newsy'>other</div><p><a href='https://e.org/a.pdf'>link</a></p>"
    "</body></html>";

std::string RegionOf(const std::string& select) {
    PageReader reader;
    std::string error, text;
    EXPECT_TRUE(reader.Set(select, "", error)) << select << ": " << error;
    if (reader.Read("text/html", kPage, text) == PageReader::Outcome::NoMatch) return "(none)";
    return text;
}
}  // namespace

TEST(Region, EachSelectorFormKeepsTheTextOfItsElementsInOrder) {
    struct Case {
        const char* select;
        const char* text;
    } cases[] = {
        {"h1", "Head\n"},
        {"*#main > h1", "Head\n"},
        {".news", "Head\none\ntwo\nthree\nfour\npara\nafter pem\n"},
        {"div.news.big li.x", "two\n"},
        {"[lang]", "para\n"},
        {"p[lang=en-US]", "para\n"},
        {"[class~=big] h1", "Head\n"},
        {"[lang|=en]", "para\n"},
        {"[data-k^=abc]", "para\n"},
        {"[data-k$='def']", "para\n"},
        {"[data-k*=cde]", "para\n"},
        {"a[href$=\".pdf\"]", "link\n"},
        {"div li:first-child", "one\n"},
        {"li:last-child", "four\n"},
        {"h1:only-child, em:last-child", "em\n"},
        {"li:nth-child(2n+1)", "one\nthree\n"},
        {"li:nth-child(even)", "two\nfour\n"},
        {"li:nth-child(-n+2)", "one\ntwo\n"},
        {"div > p:nth-of-type(1)", "para\n"},
        {"li:not(.x)", "one\nthree\nfour\n"},
        {"h1 + ul li:nth-child(3)", "three\n"},
        {"p ~ em", "em\n"},
        {"h1, .newsy", "Head\nother\n"},  // document order, not the list's
        {"//li[2] | //title", "T\ntwo\n"},
        {"(//li)[last()]", "four\n"},
        {"div", "Head\none\ntwo\nthree\nfour\npara\nafter pem\nother\n"},  // no text twice
        {"table", "(none)"},
        {"//nothing", "(none)"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, RegionOf(c.select)) << c.select;
}

TEST(Region, AMalformedSelectorOrRuleIsRefusedWithItsReason) {
    const char* bad[] = {"div >", "[a", "a[b=]", "li:nth-child(x)", ":hover", "*:nth-of-type(2)",
                         "p:not(a b)", "a,", "//p[", "'", "(//p"};
    for (const char* s : bad) {
        Region region;
        std::string error;
        EXPECT_FALSE(region.Set(s, error)) << s;
        EXPECT_FALSE(error.empty()) << s;
    }
    PageReader reader;
    std::string error;
    EXPECT_FALSE(reader.Set("", "ok\n/(unclosed/\n", error));
    EXPECT_NE(std::string::npos, error.find("第 2 行")) << error;
}

TEST(Region, IgnoreRulesDropLinesByTextOrExpression) {
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

TEST(LineDiff, AddedAndRemovedLinesInTheNewTextsOrder) {
    const LineChanges c = ChangedLines("a\nprice 199\nb\nold\n", "a\nprice 299\nb\nnew 1\nnew 2\n");
    EXPECT_EQ((std::vector<std::string>{"price 199", "old"}), c.removed);
    EXPECT_EQ((std::vector<std::string>{"price 299", "new 1", "new 2"}), c.added);
    std::vector<std::string> shown;
    for (const DiffLine& l : DiffLines("a\nx\nb\n", "a\ny\nz\nb\n"))
        shown.push_back((l.kind == DiffLine::kRemoved ? "-" : l.kind == DiffLine::kAdded ? "+" : " ") + l.text);
    EXPECT_EQ((std::vector<std::string>{" a", "-x", "+y", "+z", " b"}), shown) << "what went first";
    std::string many;
    for (int i = 0; i < 120; ++i) many += "line " + std::to_string(i) + "\n";
    const LineChanges all = ChangedLines("", many, 50);
    EXPECT_EQ(120, all.nAdded);
    EXPECT_EQ(50u, all.added.size());
    EXPECT_TRUE(ChangedLines(many, many).Empty());
    // A line of megabytes is told by its first thousand characters.
    const LineChanges huge = ChangedLines("", std::string(3000000, 'x') + "\n");
    ASSERT_EQ(1u, huge.added.size());
    EXPECT_EQ(std::string(kMaxLineChars, 'x') + "…", huge.added[0]);
    // Two large texts that share nothing are told apart as sets of lines, at once.
    std::string a, b;
    for (int i = 0; i < 9000; ++i) a += "a" + std::to_string(i) + "\n", b += "b" + std::to_string(i) + "\n";
    const LineChanges big = ChangedLines(a, b, 3);
    EXPECT_EQ(9000, big.nAdded);
    EXPECT_EQ(9000, big.nRemoved);
}
