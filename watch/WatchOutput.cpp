#include "WatchOutput.h"

#include <cstdio>

#include "AlertJson.h"
#include "TextHash.h"
#include "TextRules.h"

namespace sentrel {

std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

std::string FormatRow(const WatchRow& row) {
    auto optional = [](const std::string& text) {
        return text.empty() ? std::string("null") : JsonQuoted(text);
    };
    const bool text = row.compare.Text();
    return "{\"url\":" + JsonQuoted(row.url) + ",\"note\":" + JsonQuoted(row.note) +
           ",\"size\":" + std::to_string(row.nStoredSize) + ",\"etag\":" + optional(row.etag) +
           ",\"last_modified\":" + optional(row.lastModified) + ",\"compare\":\"" +
           (text ? "text" : "size") + "\",\"select\":" + (text ? optional(row.compare.select) : "null") +
           ",\"ignore\":" + (text ? optional(row.compare.ignore) : "null") + ",\"text_hash\":" +
           (text && row.nStoredHash ? JsonQuoted(content::HashToHex(row.nStoredHash)) : "null") +
           ",\"interval\":" + (row.nInterval > 0 ? std::to_string(row.nInterval) : "null") + "}";
}

namespace {
std::string SizeText(long long size) {
    return size < 0 ? std::string("null") : std::to_string(size);
}
}  // namespace

std::string FormatReport(const WatchReport& r, bool json) {
    if (json) return ReportJson(r);
    std::string line = FormatIsoTime(r.when) + " " + ReportKindName(r.kind) + " " + r.url;
    if (r.kind == WatchReport::kChanged)
        line += " " + SizeText(r.nOldSize) + " -> " + SizeText(r.nNewSize);
    if (!r.reason.empty()) line += " " + r.reason;
    if (!r.note.empty()) line += " (" + r.note + ")";
    for (const std::string& removed : r.removed) line += "\n    - " + removed;
    for (const std::string& added : r.added) line += "\n    + " + added;
    return ValidUtf8(line);
}

}  // namespace sentrel
