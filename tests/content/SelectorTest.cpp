// A region on long and deep pages: sibling and position selectors cost what the page's size
// costs, an XPath that would not is cut short, and nesting never loses the region.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "PageText.h"
#include "Selector.h"

using namespace sentrel::content;

namespace {

std::string List(int items) {
    std::string page = "<html><body><ul>";
    for (int i = 1; i <= items; ++i) page += "<li>item " + std::to_string(i) + "</li>";
    return page + "</ul></body></html>";
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

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
