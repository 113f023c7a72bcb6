#include "WatchOutput.h"

#include <cstdio>

#include "Files.h"
#include "TextHash.h"
#include "TextRules.h"

namespace sentrel {

namespace {

const char* KindName(WatchReport::Kind kind) {
    switch (kind) {
        case WatchReport::kChanged:
            return "changed";
        case WatchReport::kFailing:
            return "failing";
        case WatchReport::kRecovered:
            return "recovered";
    }
    return "";
}

// A JSON string: quotes, backslashes and control characters escaped; UTF-8 as it is, with
// bytes that are no UTF-8 (a note of an older Windows version, in GBK) as U+FFFD.
std::string Quoted(const std::string& text) {
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

std::string Number(long long n) {
    return n < 0 ? std::string("null") : std::to_string(n);
}

std::string Array(const std::vector<std::string>& lines) {
    std::string out = "[";
    for (const std::string& line : lines) out += (out.size() > 1 ? "," : "") + Quoted(line);
    return out + "]";
}

}  // namespace

std::string FormatRow(const WatchRow& row) {
    auto optional = [](const std::string& text) {
        return text.empty() ? std::string("null") : Quoted(text);
    };
    const bool text = row.compare.Text();
    return "{\"url\":" + Quoted(row.url) + ",\"note\":" + Quoted(row.note) +
           ",\"size\":" + std::to_string(row.nStoredSize) + ",\"etag\":" + optional(row.etag) +
           ",\"last_modified\":" + optional(row.lastModified) + ",\"compare\":\"" +
           (text ? "text" : "size") + "\",\"select\":" + (text ? optional(row.compare.select) : "null") +
           ",\"ignore\":" + (text ? optional(row.compare.ignore) : "null") + ",\"text_hash\":" +
           (text && row.nStoredHash ? Quoted(content::HashToHex(row.nStoredHash)) : "null") +
           ",\"interval\":" + (row.nInterval > 0 ? std::to_string(row.nInterval) : "null") + "}";
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

std::string FormatReport(const WatchReport& r, bool json) {
    if (json) {
        return "{\"time\":" + Quoted(FormatIsoTime(r.when)) + ",\"url\":" + Quoted(r.url) +
               ",\"note\":" + Quoted(r.note) + ",\"kind\":\"" + KindName(r.kind) +
               "\",\"old_size\":" + Number(r.nOldSize) + ",\"new_size\":" + Number(r.nNewSize) +
               ",\"reason\":" + (r.reason.empty() ? std::string("null") : Quoted(r.reason)) +
               (r.bText ? ",\"added\":" + Array(r.added) + ",\"removed\":" + Array(r.removed)
                        : std::string()) +
               "}";
    }
    std::string line = FormatIsoTime(r.when) + " " + KindName(r.kind) + " " + r.url;
    if (r.kind == WatchReport::kChanged)
        line += " " + Number(r.nOldSize) + " -> " + Number(r.nNewSize);
    if (!r.reason.empty()) line += " " + r.reason;
    if (!r.note.empty()) line += " (" + r.note + ")";
    for (const std::string& removed : r.removed) line += "\n    - " + removed;
    for (const std::string& added : r.added) line += "\n    + " + added;
    return ValidUtf8(line);
}

}  // namespace sentrel
