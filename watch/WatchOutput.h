#pragma once
#include <ctime>
#include <string>

#include "AlertPolicy.h"

namespace sentrel {

/// One event of the headless watcher, as it is printed.
using WatchReport = AlertReport;

/// The event without its last line end: one JSON object, or readable text (one line, and
/// a text row's changed lines under it, indented).
std::string FormatReport(const WatchReport& report, bool json);

/// A row of the list as one JSON object with all its fields (--list --json).
std::string FormatRow(const WatchRow& row);

/// "2026-12-07T18:30:00+08:00": local time with its offset.
std::string FormatIsoTime(std::time_t when);

}  // namespace sentrel
