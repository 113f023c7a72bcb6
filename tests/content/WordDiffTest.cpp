// What changed within a line, word by word, and a diff as it is shown, within its bounds.
#include <gtest/gtest.h>

#include <chrono>

#include "content/WordDiff.h"
#include "testsupport/Sanitized.h"

using namespace sentrel::content;

TEST(WordDiff, AChangedLineIsToldByItsWords) {
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

TEST(WordDiff, AComparisonsWordsAreBoundedAndWhatIsPastTheBoundIsShownWhole) {
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
    const auto count = [](const std::vector<ShownLine>& shown) {
        std::size_t changed = 0;
        for (const ShownLine& line : shown) changed += line.kind == ShownLine::kChanged;
        return std::make_pair(changed, shown.size() - changed);
    };
    const auto start = std::chrono::steady_clock::now();
    const auto [inTime, wholeInTime] = count(ShownChanges(DiffLines(before, after), true));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3 * sentrel::test::kSlower));
    EXPECT_LE(inTime, 2u);
    EXPECT_EQ(2 * (34 - inTime), wholeInTime);
    // With time to spare, the words bound it alone.
    const WordBounds slow{40000, std::chrono::minutes(10)};
    const auto [changed, whole] = count(ShownChanges(DiffLines(before, after), true, false, slow));
    EXPECT_EQ(2u, changed) << "the words of two pairs fit";
    EXPECT_EQ(64u, whole) << "the other 32 pairs, each line whole";
    const WordBounds quick{40000, std::chrono::milliseconds(0)};
    for (const ShownLine& line : ShownChanges(DiffLines(before, after), true, false, quick))
        EXPECT_NE(ShownLine::kChanged, line.kind) << "no time: every line whole";
}
