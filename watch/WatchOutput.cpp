#include "watch/WatchOutput.h"

#include <cstdio>

#include "alerts/AlertJson.h"
#include "alerts/ChangeText.h"
#include "content/TextHash.h"
#include "model/AlertRules.h"
#include "platform/TextRules.h"

namespace sentrel {

std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

std::string ShownUrl(const std::string& url) {
    return Visible(OneLine(WithoutPassword(url)));
}

std::string FormatRow(const WatchRow& row) {
    auto optional = [](const std::string& text) { return text.empty() ? JsonObject() : JsonObject(text); };
    const bool text = row.compare.Text();
    JsonObject json{
        {"url", row.url},
        {"note", row.note},
        {"size", row.nStoredSize},
        {"etag", optional(row.etag)},
        {"last_modified", optional(row.lastModified)},
        {"compare", CompareOptions::ModeName(row.compare.mode)},
        {"select", text ? optional(row.compare.select) : JsonObject()},
        {"ignore", text ? optional(row.compare.ignore) : JsonObject()},
        {"text_hash", text && row.nStoredHash ? JsonObject(content::HashToHex(row.nStoredHash)) : JsonObject()},
        {"interval", row.nInterval > 0 ? JsonObject(row.nInterval) : JsonObject()},
    };
    if (text && row.compare.render) json["render"] = true;
    if (text) {
        AlertRules rules;
        std::string problem;
        // A rule that no longer reads (a list edited by hand) is shown as written.
        std::vector<std::string> written;
        if (rules.Parse(row.alertIf, problem))
            written = rules.Written();
        else
            written = {row.alertIf};
        json["alert_if"] = written;
    }
    json["proxy"] = optional(MaskedProxy(row.access.proxy));
    if (row.access.headers.empty()) {
        json["headers"] = JsonObject();
    } else {
        std::vector<std::string> shown;
        for (const std::string& line : row.access.headers) shown.push_back(MaskedHeader(line));
        json["headers"] = shown;
    }
    json["session"] = optional(row.access.session);
    return JsonText(json);
}

std::string FormatVersion(const TextVersion& v, bool json) {
    static const char* const kKind[] = {"first", "told", "quiet"};
    const char* kind = kKind[static_cast<int>(v.kind)];
    auto count = [](int n) { return n < 0 ? JsonObject() : JsonObject(n); };
    if (json) {
        JsonObject o{{"version", v.n},        {"time", FormatIsoTime(v.time)}, {"size", v.nSize},
                     {"added", count(v.nAdded)}, {"removed", count(v.nRemoved)}, {"kind", kind}};
        if (!v.because.empty()) o["because"] = v.because;
        return JsonText(o);
    }
    auto counted = [](int n) { return n < 0 ? std::string("?") : std::to_string(n); };
    std::string line = std::to_string(v.n) + "\t" + FormatIsoTime(v.time) + "\t" +
                       std::to_string(v.nSize) + "\t+" + counted(v.nAdded) + " -" +
                       counted(v.nRemoved) + "\t" + kind;
    if (!v.because.empty()) line += " " + Visible(OneLine(v.because));
    return line;
}

namespace {
std::string SizeText(long long size) {
    return size < 0 ? std::string("null") : std::to_string(size);
}
}  // namespace

std::string Visible(const std::string& text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    char code[8];
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        const auto next = i + 1 < valid.size() ? static_cast<unsigned char>(valid[i + 1]) : 0;
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080..U+009F
            std::snprintf(code, sizeof code, "\\u%04x", next);
            out += code;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string FormatReport(const WatchReport& report, bool json) {
    if (json) {
        WatchReport r = report;
        r.url = OneLine(report.url);
        r.note = OneLine(report.note);
        return ReportJson(r);
    }
    const WatchReport& r = report;
    std::string line = FormatIsoTime(r.when) + " " + ReportKindName(r.kind) + " " + Visible(OneLine(r.url));
    if (r.kind == EventKind::Changed)
        line += " " + SizeText(r.nOldSize) + " -> " + SizeText(r.nNewSize);
    if (!r.reason.empty()) line += " " + Visible(r.reason);
    if (!r.note.empty()) line += " (" + Visible(OneLine(r.note)) + ")";
    if (!r.because.empty()) line += "\n    " + Visible(OneLine(BecauseText(r.because)));
    std::vector<std::string> removed, added;
    for (const std::string& l : r.removed) removed.push_back(Visible(l));
    for (const std::string& l : r.added) added.push_back(Visible(l));
    LineStyle style;
    style.lead = "\n    ";
    return line + ChangeLinesText(removed, added, static_cast<int>(removed.size()),
                                  static_cast<int>(added.size()), style);
}

}  // namespace sentrel
