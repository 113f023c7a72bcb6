#pragma once
// What changed between two texts of a page, line by line.
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
LineChanges ChangedLines(const std::string& before, const std::string& after, int limit = 50);

}  // namespace content
}  // namespace sentrel
