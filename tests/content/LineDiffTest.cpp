// What changed between two texts of a page, line by line, and what is kept of a long one.
#include <gtest/gtest.h>

#include "LineDiff.h"

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
