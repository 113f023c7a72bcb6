// What changed between two texts of a page, line by line, and what is kept of a long one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "content/LineDiff.h"

using namespace sentrel::content;

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

TEST(LineDiff, ALongTextIsKeptByItsLinesAndALongLineIsCutNotDropped) {
    std::string lines;
    while (lines.size() <= kMaxKeptText) lines += "a line of the page\n";
    const std::string kept = KeptText(lines);
    EXPECT_LE(kept.size(), kMaxKeptText);
    EXPECT_EQ('\n', kept.back());
    EXPECT_EQ(0u, lines.find(kept));
    const std::string one = KeptText(std::string(kMaxKeptText + 10, 'x'));
    EXPECT_EQ(kMaxKeptText, one.size());
    EXPECT_EQ('\n', one.back());
    std::string chinese;
    while (chinese.size() <= kMaxKeptText) chinese += "中";
    const std::string cut = KeptText(chinese);
    EXPECT_EQ(0u, (cut.size() - 1) % 3) << "never a character cut in two";
    EXPECT_EQ('\n', cut.back());
    EXPECT_EQ("short\n", KeptText("short\n"));
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
