#pragma once
#include <ctime>
#include <string>

#include "alerts/AlertJson.h"
#include "model/WatchSession.h"
#include "store/TextStore.h"

namespace sentrel {

/// One event of the headless watcher, as it is printed.
using WatchReport = AlertReport;

/// The event without its last line end: one JSON object, or readable text (one line, and
/// a text row's changed lines under it, indented, every part Visible).
std::string FormatReport(const WatchReport& report, bool json);

/// Text that goes to one output line: line breaks and other control bytes become blanks.
std::string OneLine(std::string text);

/// Text as a terminal may show it: valid UTF-8, each control character written out
/// ("\x1b", "\u009b") so that a page cannot set the terminal's title, clear it or move
/// its cursor; tabs stay.
std::string Visible(const std::string& text);

/// A URL as a message names it: on one line, shown as Visible, its password as "***".
std::string ShownUrl(const std::string& url);

/// A kept version of a page (--history): one JSON object (version, time, size, added,
/// removed, kind, and the condition that made it told), or one line of text.
std::string FormatVersion(const TextVersion& version, bool json);

/// A row of the list as one JSON object with all its fields (--list --json).
std::string FormatRow(const WatchRow& row);

}  // namespace sentrel
