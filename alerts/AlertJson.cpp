#include "alerts/AlertJson.h"

#include <cstdio>

#include "alerts/ChangeText.h"
#include "base/Translate.h"
#include "platform/Files.h"
#include "platform/TextRules.h"

namespace sentrel {


const char* ReportKindName(EventKind kind) {
    static const char* const kName[kEventKinds] = {"changed", "failing", "recovered", "quiet"};
    return kName[KindIndex(kind)];
}

std::string ReportTitle(EventKind kind) {
    static const char* const kTitle[kEventKinds] = {N_("有更新！"), N_("访问失败"), N_("已恢复"), N_("有变化")};
    return Tr(kTitle[KindIndex(kind)]);
}

std::string ReportDetails(const AlertReport& report) {
    std::string details;
    if (!report.reason.empty()) details += "\n" + ReasonText(report.reason);
    if (!report.because.empty()) details += "\n" + BecauseText(report.because);
    return details + ChangeLinesText(report.removed, report.added, static_cast<int>(report.removed.size()),
                                     static_cast<int>(report.added.size()), LineStyle());
}

std::string JsonText(const JsonObject& value) {
    // Bytes that are no UTF-8 (a note of an older Windows version) are U+FFFD.
    return value.dump(-1, ' ', false, JsonObject::error_handler_t::replace);
}

std::string FormatIsoTime(std::time_t when) {
    return FormatLocalTime(when, "%Y-%m-%dT%H:%M:%S%z");
}

std::string ReportJson(const AlertReport& r) {
    auto size = [](long long n) { return n < 0 ? JsonObject() : JsonObject(n); };
    JsonObject event = {{"time", FormatIsoTime(r.when)},
                        {"url", r.url},
                        {"note", r.note},
                        {"kind", ReportKindName(r.kind)},
                        {"old_size", size(r.nOldSize)},
                        {"new_size", size(r.nNewSize)},
                        {"reason", r.reason.empty() ? JsonObject() : JsonObject(r.reason)}};
    if (r.bText) {
        event["added"] = r.added;
        event["removed"] = r.removed;
    }
    if (!r.because.empty()) event["because"] = r.because;
    return JsonText(event);
}

}  // namespace sentrel
