#pragma once
#include <ctime>
#include <string>

namespace sentrel {

/// One event of the headless watcher, as it is printed.
struct WatchReport {
    enum Kind { kChanged, kFailing, kRecovered };
    std::time_t when = 0;
    Kind kind = kChanged;
    std::string url;
    std::string note;
    long long nOldSize = -1;  ///< -1: none
    long long nNewSize = -1;  ///< -1: none
    std::string reason;       ///< why the page fails (kFailing)
};

/// The event as one line without its line end: readable text, or one JSON object.
std::string FormatReport(const WatchReport& report, bool json);

/// "2026-12-07T18:30:00+08:00": local time with its offset.
std::string FormatIsoTime(std::time_t when);

}  // namespace sentrel
