#pragma once
// What changed within a line, word by word, and a diff as it is shown: lines that went and
// came, and lines that changed told by their words.
#include <chrono>
#include <string>
#include <vector>

#include "content/LineDiff.h"

namespace sentrel {
namespace content {

/// The words of a changed line against its old one: each word of the old line kept or
/// removed, and of the new one kept or added, in reading order (blanks belong to the word
/// before them).
struct DiffWord {
    enum Kind { kSame, kRemoved, kAdded };
    Kind kind;
    std::string text;
};
std::vector<DiffWord> DiffWords(const std::string& before, const std::string& after);
/// Lines with more words than this (both sides) are told as a whole.
constexpr std::size_t kMaxDiffWords = 20000;
/// "[-old-]{+new+}" marks of a changed line, as wdiff writes them.
std::string WordMarks(const std::vector<DiffWord>& words);

/// A diff as it is shown: lines that went, came, or (with words) changed, told by their
/// words against the line they replace: of a run of removed lines and the added ones right
/// after it, the first ones of each side pair up. Kept lines only when asked for.
struct ShownLine {
    enum Kind { kRemoved, kAdded, kChanged, kSame };
    Kind kind;
    std::string text;  ///< the line (a changed one's new text)
    std::vector<DiffWord> words;
};
/// What the word diffs of one comparison may cost, all its pairs of lines together: past
/// either bound, the pairs left are shown whole (removed and added), without word marks.
struct WordBounds {
    std::size_t words = 40000;
    std::chrono::milliseconds time{1000};
};
std::vector<ShownLine> ShownChanges(const std::vector<DiffLine>& diff, bool words,
                                    bool withSame = false, const WordBounds& bounds = WordBounds());
/// "- line", "+ line", or "~ " and a changed line's word marks.
std::string ShownText(const ShownLine& line);

}  // namespace content
}  // namespace sentrel
