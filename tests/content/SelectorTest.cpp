// A region of a page: each form of selector, refusals with their reasons, and long and deep
// pages, where sibling and position selectors cost what the page's size costs, an XPath that
// would not is cut short, and nesting never loses the region.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "content/PageText.h"
#include "content/Selector.h"

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

std::string List(int items) {
    std::string page = "<html><body><ul>";
    for (int i = 1; i <= items; ++i) page += "<li>item " + std::to_string(i) + "</li>";
    return page + "</ul></body></html>";
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(Selector, EachFormKeepsTheTextOfItsElementsInOrder) {
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

TEST(Selector, AMalformedSelectorOrRuleIsRefusedWithItsReason) {
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

TEST(Selector, SiblingAndPositionSelectorsOnALongListTakeLinearTime) {
    const std::string page = List(40000);
    struct Case {
        const char* select;
        int lines;
        const char* first;
    } cases[] = {
        {"li:first-child", 1, "item 1\n"},
        {"li:last-child", 1, "item 40000\n"},
        {"li:nth-child(2n+1)", 20000, "item 1\n"},
        {"li:nth-last-child(3)", 1, "item 39998\n"},
        {"li:nth-of-type(40000)", 1, "item 40000\n"},
        {"li ~ li", 39999, "item 2\n"},
        {"li + li:not(:only-child)", 39999, "item 2\n"},
    };
    for (const Case& c : cases) {
        PageReader reader;
        std::string error, text;
        ASSERT_TRUE(reader.Set(c.select, "", error)) << error;
        const auto start = std::chrono::steady_clock::now();
        ReadBounds bounds;
        bounds.time = std::chrono::seconds(30);
        ASSERT_EQ(PageReader::Outcome::Ok, reader.Read("text/html", page, text, bounds)) << c.select;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.select;
        EXPECT_EQ(c.lines, Lines(text)) << c.select;
        EXPECT_EQ(c.first, text.substr(0, text.find('\n') + 1)) << c.select;
    }
}

TEST(Selector, AnXPathThatWouldVisitBillionsOfNodesIsTooComplex) {
    PageReader reader;
    std::string error, text;
    ASSERT_TRUE(reader.Set("//li[count(preceding-sibling::li) = 0]", "", error)) << error;
    EXPECT_EQ(PageReader::Outcome::TooComplex, reader.Read("text/html", List(40000), text));
    EXPECT_EQ("", text);
}

TEST(Selector, NestingDeeperThanTheParsersDefaultKeepsTheRegion) {
    for (const char* tag : {"span", "font", "div"}) {
        std::string page = "<html><body>";
        for (int i = 0; i < 300; ++i) page += std::string("<") + tag + ">";
        page += "<b id=price>199</b> end";
        for (const char* select : {"#price", "body"}) {
            PageReader reader;
            std::string error, text;
            ASSERT_TRUE(reader.Set(select, "", error));
            EXPECT_EQ(PageReader::Outcome::Ok, reader.Read("text/html", page, text)) << tag << select;
            EXPECT_EQ(std::string(select) == "body" ? "199 end\n" : "199\n", text) << tag << select;
        }
    }
    // Far deeper still: read, or refused as too complex, never a crash or an empty text.
    std::string deep = "<html><body>";
    for (int i = 0; i < 100000; ++i) deep += "<div>";
    deep += "bottom";
    PageReader reader;
    std::string error, text;
    ASSERT_TRUE(reader.Set("div", "", error));
    const auto outcome = reader.Read("text/html", deep, text);
    EXPECT_TRUE(outcome == PageReader::Outcome::TooComplex ||
                (outcome == PageReader::Outcome::Ok && text == "bottom\n"))
        << static_cast<int>(outcome) << " " << text.substr(0, 40);
}
