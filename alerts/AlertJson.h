#pragma once
// An event as it is told outside the program: the JSON object sentrel-watch --json prints
// and the webhooks receive, and the words of a notification, an ntfy message and a feed
// entry; one writer for each.
#include <ctime>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "alerts/AlertEvent.h"

namespace sentrel {

/// A JSON value whose members keep the order they were set in (as the output documents them).
using JsonObject = nlohmann::ordered_json;
/// The value as one line of JSON: quotes, backslashes and control characters escaped; UTF-8
/// as it is, with bytes that are no UTF-8 (a note of an older Windows version) as U+FFFD.
std::string JsonText(const JsonObject& value);

/// "2026-12-07T18:30:00+08:00": local time with its offset.
std::string FormatIsoTime(std::time_t when);

/// The event as one JSON object: time, url, note, kind, old_size, new_size, reason, and a
/// text row's added and removed lines.
std::string ReportJson(const AlertReport& report);

/// "changed", "failing", "recovered".
const char* ReportKindName(EventKind kind);

/// "有更新！", "访问失败", "已恢复", in the user's language.
std::string ReportTitle(EventKind kind);

/// What follows the page in a message: "\n原因：…" for a failure, then a text row's removed
/// ("\n- …") and added ("\n+ …") lines; empty when there is none.
std::string ReportDetails(const AlertReport& report);

}  // namespace sentrel
