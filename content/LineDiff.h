#pragma once
// What changed between two texts of a page, line by line.
#include <chrono>
#include <string>
#include <vector>

namespace sentrel {
namespace content {

/// One line of a diff, in the order of the new text (removed lines where they stood).
struct DiffLine {
    enum Kind { kSame, kRemoved, kAdded };
    Kind kind;
    std::string text;
};

/// Every line of both texts ("\n"-ended lines), each kept, removed or added.
std::vector<DiffLine> DiffLines(const std::string& before, const std::string& after);

/// The removed and added lines only, at most `limit` of each, with how many there were;
/// each line kept is cut to kMaxLineChars characters, so that what is told of a change
/// (a mail, an event, a hook) stays small whatever one line holds.
struct LineChanges {
    std::vector<std::string> removed;
    std::vector<std::string> added;
    int nRemoved = 0;
    int nAdded = 0;
    bool Empty() const { return nRemoved == 0 && nAdded == 0; }
};
constexpr std::size_t kMaxLineChars = 1000;

/// Longest text kept of a page to show what changed (its hash covers the whole text).
constexpr std::size_t kMaxKeptText = 1024 * 1024;
/// The part of a text that is kept: all of it up to kMaxKeptText bytes, else its lines up
/// to the last that ends within them; a first line longer than that is cut (never
/// dropped) and ended. Texts are compared as kept, so a text beyond the bound shows the
/// lines that changed within it, as its earlier version was kept.
std::string KeptText(const std::string& text);
LineChanges ChangedLines(const std::string& before, const std::string& after, int limit = 50);
/// The same of a diff already made.
LineChanges ChangesOf(const std::vector<DiffLine>& diff, int limit = 50);

/// How to make `to` of `from`, line by line, when that is much smaller than `to` itself;
/// empty when it is not (a page rewritten), so that `to` is better kept whole.
std::string LineDelta(const std::string& from, const std::string& to);
/// `to` made of `from` and a delta LineDelta gave; false when they do not fit together.
bool ApplyLineDelta(const std::string& from, const std::string& delta, std::string& to);

}  // namespace content
}  // namespace sentrel
