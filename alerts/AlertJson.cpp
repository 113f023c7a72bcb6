#include "AlertJson.h"

#include <cstdio>

#include "ChangeText.h"
#include "Files.h"
#include "TextRules.h"
#include "Translate.h"

namespace sentrel {

namespace {

std::string Number(long long n) {
    return n < 0 ? std::string("null") : std::to_string(n);
}

std::string Array(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (const std::string& line : lines) out += (out.size() > 1 ? "," : "") + JsonQuoted(line);
    return out + "]";
}

}  // namespace

const char* ReportKindName(EventKind kind) {
    static const char* const kName[kEventKinds] = {"changed", "failing", "recovered"};
    return kName[KindIndex(kind)];
}

std::string ReportTitle(EventKind kind) {
    static const char* const kTitle[kEventKinds] = {N_("有更新！"), N_("访问失败"), N_("已恢复")};
    return Tr(kTitle[KindIndex(kind)]);
}

std::string ReportDetails(const AlertReport& report) {
    std::string details;
    if (!report.reason.empty()) details += "\n" + ReasonText(report.reason);
    return details + ChangeLinesText(report.removed, report.added, static_cast<int>(report.removed.size()),
                                     static_cast<int>(report.added.size()), LineStyle());
}

std::string JsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : ValidUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n' || c == '\t' || c == '\r') {
            out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string FormatIsoTime(std::time_t when) {
    std::tm t{};
    LocalTime(when, t);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &t);
    std::string s = text;
    if (s.size() >= 5) s.insert(s.size() - 2, ":");  // +0800 -> +08:00
    return s;
}

std::string ReportJson(const AlertReport& r) {
    return "{\"time\":" + JsonQuoted(FormatIsoTime(r.when)) + ",\"url\":" + JsonQuoted(r.url) +
           ",\"note\":" + JsonQuoted(r.note) + ",\"kind\":\"" + ReportKindName(r.kind) +
           "\",\"old_size\":" + Number(r.nOldSize) + ",\"new_size\":" + Number(r.nNewSize) +
           ",\"reason\":" + (r.reason.empty() ? std::string("null") : JsonQuoted(r.reason)) +
           (r.bText ? ",\"added\":" + Array(r.added) + ",\"removed\":" + Array(r.removed)
                    : std::string()) +
           "}";
}

}  // namespace sentrel
