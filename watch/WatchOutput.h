#pragma once
#include <ctime>
#include <string>

#include "AlertJson.h"

namespace sentrel {

/// One event of the headless watcher, as it is printed.
using WatchReport = AlertReport;

/// The event without its last line end: one JSON object, or readable text (one line, and
/// a text row's changed lines under it, indented).
std::string FormatReport(const WatchReport& report, bool json);

/// Text that goes to one output line: line breaks and other control bytes become blanks.
std::string OneLine(std::string text);

/// A row of the list as one JSON object with all its fields (--list --json).
std::string FormatRow(const WatchRow& row);

}  // namespace sentrel
