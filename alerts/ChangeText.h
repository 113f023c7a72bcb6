#pragma once
// The words of an event beyond its title, for every place it is told (the notification, the
// mail, ntfy, the feed, the output): why a page fails, and a text row's changed lines.
#include <cstddef>
#include <string>
#include <vector>

#include "content/LineDiff.h"

namespace sentrel {

/// "原因：…": a failure's reason as it follows the page.
std::string ReasonText(const std::string& reason);
/// "条件：…": the condition a told change met.
std::string BecauseText(const std::string& because);

/// How changed lines are told: each line as `lead`, its mark, the line, `trail`; removed
/// lines first, or only one side (the added lines, else the removed); at most `max` lines,
/// and, when `countRest`, "…另有 N 行" (with `trail`) for the rest.
struct LineStyle {
    const char* lead = "\n";
    const char* trail = "";
    const char* removedMark = "- ";
    std::size_t max = static_cast<std::size_t>(-1);
    bool oneSide = false;
    bool countRest = false;
};
/// The lines of a change (`nRemoved` and `nAdded` count those left out of the lists too).
std::string ChangeLinesText(const std::vector<std::string>& removed,
                            const std::vector<std::string>& added, int nRemoved, int nAdded,
                            const LineStyle& style);

/// A notification's lines: the first added lines (else the first removed), at most 3
/// lines and 200 characters; empty when no line changed.
std::string NoticeChangeLines(const content::LineChanges& change);

/// A mail's lines, each ending in CR LF: "- " removed and "+ " added, at most 50, then
/// "…另有 N 行" for those left out; empty when no line changed.
std::string MailChangeLines(const content::LineChanges& change);

}  // namespace sentrel
