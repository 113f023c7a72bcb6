#pragma once
// How a text row's changed lines are told: in a notification, in an alert mail.
#include <string>

#include "LineDiff.h"

namespace sentrel {

/// A notification's lines: the first added lines (else the first removed), at most 3
/// lines and 200 characters; empty when no line changed.
std::string NoticeChangeLines(const content::LineChanges& change);

/// A mail's lines, each ending in CR LF: "- " removed and "+ " added, at most 50, then
/// "…另有 N 行" for those left out; empty when no line changed.
std::string MailChangeLines(const content::LineChanges& change);

}  // namespace sentrel
