#include "content/Charset.h"

#include <algorithm>
#include <cstring>

#include "platform/TextRules.h"
#include "platform/Transcode.h"

namespace sentrel {
namespace content {

namespace {

struct Label {
    const char* label;
    const char* charset;
};

// The labels of the WHATWG Encoding Standard for the charsets pages are written in.
constexpr Label kLabels[] = {
    {"unicode-1-1-utf-8", "UTF-8"}, {"unicode11utf8", "UTF-8"}, {"unicode20utf8", "UTF-8"},
    {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"x-unicode20utf8", "UTF-8"},
    {"chinese", "GB18030"}, {"csgb2312", "GB18030"}, {"csiso58gb231280", "GB18030"},
    {"gb2312", "GB18030"}, {"gb_2312", "GB18030"}, {"gb_2312-80", "GB18030"}, {"gbk", "GB18030"},
    {"iso-ir-58", "GB18030"}, {"x-gbk", "GB18030"}, {"gb18030", "GB18030"}, {"cp936", "GB18030"},
    {"ms936", "GB18030"}, {"windows-936", "GB18030"},
    {"big5", "Big5"}, {"big5-hkscs", "Big5"}, {"cn-big5", "Big5"}, {"csbig5", "Big5"},
    {"x-x-big5", "Big5"},
    {"csshiftjis", "Shift_JIS"}, {"ms932", "Shift_JIS"}, {"ms_kanji", "Shift_JIS"},
    {"shift-jis", "Shift_JIS"}, {"shift_jis", "Shift_JIS"}, {"sjis", "Shift_JIS"},
    {"windows-31j", "Shift_JIS"}, {"x-sjis", "Shift_JIS"},
    {"cseucpkdfmtjapanese", "EUC-JP"}, {"euc-jp", "EUC-JP"}, {"x-euc-jp", "EUC-JP"},
    {"cseuckr", "EUC-KR"}, {"csksc56011987", "EUC-KR"}, {"euc-kr", "EUC-KR"},
    {"iso-ir-149", "EUC-KR"}, {"korean", "EUC-KR"}, {"ks_c_5601-1987", "EUC-KR"},
    {"ks_c_5601-1989", "EUC-KR"}, {"ksc5601", "EUC-KR"}, {"ksc_5601", "EUC-KR"},
    {"windows-949", "EUC-KR"},
    {"ansi_x3.4-1968", "windows-1252"}, {"ascii", "windows-1252"}, {"cp1252", "windows-1252"},
    {"cp819", "windows-1252"}, {"csisolatin1", "windows-1252"}, {"ibm819", "windows-1252"},
    {"iso-8859-1", "windows-1252"}, {"iso-ir-100", "windows-1252"}, {"iso8859-1", "windows-1252"},
    {"iso88591", "windows-1252"}, {"iso_8859-1", "windows-1252"},
    {"iso_8859-1:1987", "windows-1252"}, {"l1", "windows-1252"}, {"latin1", "windows-1252"},
    {"us-ascii", "windows-1252"}, {"windows-1252", "windows-1252"}, {"x-cp1252", "windows-1252"},
    {"cp1250", "windows-1250"}, {"windows-1250", "windows-1250"}, {"x-cp1250", "windows-1250"},
    {"cp1251", "windows-1251"}, {"windows-1251", "windows-1251"}, {"x-cp1251", "windows-1251"},
    {"cp1253", "windows-1253"}, {"windows-1253", "windows-1253"}, {"x-cp1253", "windows-1253"},
    {"cp1254", "windows-1254"}, {"windows-1254", "windows-1254"}, {"x-cp1254", "windows-1254"},
    {"iso-8859-9", "windows-1254"}, {"iso8859-9", "windows-1254"}, {"latin5", "windows-1254"},
    {"cp1255", "windows-1255"}, {"windows-1255", "windows-1255"}, {"x-cp1255", "windows-1255"},
    {"cp1256", "windows-1256"}, {"windows-1256", "windows-1256"}, {"x-cp1256", "windows-1256"},
    {"cp1257", "windows-1257"}, {"windows-1257", "windows-1257"}, {"x-cp1257", "windows-1257"},
    {"cp1258", "windows-1258"}, {"windows-1258", "windows-1258"}, {"x-cp1258", "windows-1258"},
    {"windows-874", "windows-874"}, {"iso-8859-11", "windows-874"}, {"tis-620", "windows-874"},
    {"iso-8859-2", "ISO-8859-2"}, {"iso8859-2", "ISO-8859-2"}, {"latin2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"}, {"iso8859-3", "ISO-8859-3"}, {"latin3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"}, {"iso8859-4", "ISO-8859-4"}, {"latin4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"}, {"iso8859-5", "ISO-8859-5"}, {"cyrillic", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"}, {"iso8859-6", "ISO-8859-6"}, {"arabic", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"}, {"iso8859-7", "ISO-8859-7"}, {"greek", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"}, {"iso8859-8", "ISO-8859-8"}, {"hebrew", "ISO-8859-8"},
    {"iso-8859-10", "ISO-8859-10"}, {"iso8859-10", "ISO-8859-10"}, {"latin6", "ISO-8859-10"},
    {"iso-8859-13", "ISO-8859-13"}, {"iso8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"}, {"iso8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"}, {"iso8859-15", "ISO-8859-15"}, {"latin9", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"koi8-r", "KOI8-R"}, {"koi8", "KOI8-R"}, {"koi", "KOI8-R"}, {"cskoi8r", "KOI8-R"},
    {"koi8-u", "KOI8-U"}, {"koi8-ru", "KOI8-U"},
    {"utf-16", "UTF-16LE"}, {"utf-16le", "UTF-16LE"}, {"unicode", "UTF-16LE"},
    {"ucs-2", "UTF-16LE"}, {"utf-16be", "UTF-16BE"}, {"unicodefffe", "UTF-16BE"},
};

// Each charset left to the system, with its names there.
constexpr struct {
    const char* charset;
    Encoding encoding;
} kSystem[] = {
    {"GB18030", {"GB18030", 54936}},        {"Big5", {"BIG5-HKSCS", 950}},
    {"Shift_JIS", {"CP932", 932}},          {"EUC-JP", {"EUC-JP", 20932}},
    {"EUC-KR", {"CP949", 949}},             {"windows-1250", {"CP1250", 1250}},
    {"windows-1251", {"CP1251", 1251}},     {"windows-1253", {"CP1253", 1253}},
    {"windows-1254", {"CP1254", 1254}},     {"windows-1255", {"CP1255", 1255}},
    {"windows-1256", {"CP1256", 1256}},     {"windows-1257", {"CP1257", 1257}},
    {"windows-1258", {"CP1258", 1258}},     {"windows-874", {"CP874", 874}},
    {"ISO-8859-2", {"ISO-8859-2", 28592}},  {"ISO-8859-3", {"ISO-8859-3", 28593}},
    {"ISO-8859-4", {"ISO-8859-4", 28594}},  {"ISO-8859-5", {"ISO-8859-5", 28595}},
    {"ISO-8859-6", {"ISO-8859-6", 28596}},  {"ISO-8859-7", {"ISO-8859-7", 28597}},
    {"ISO-8859-8", {"ISO-8859-8", 28598}},  {"ISO-8859-10", {"ISO-8859-10", 28600}},
    {"ISO-8859-13", {"ISO-8859-13", 28603}}, {"ISO-8859-14", {"ISO-8859-14", 28604}},
    {"ISO-8859-15", {"ISO-8859-15", 28605}}, {"ISO-8859-16", {"ISO-8859-16", 28606}},
    {"KOI8-R", {"KOI8-R", 20866}},          {"KOI8-U", {"KOI8-U", 21866}},
};

// windows-1252's 0x80-0x9F as browsers read them (the rest is Latin-1); written here so
// that both systems read the most common legacy charset the same way.
constexpr unsigned short kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(unsigned cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr unsigned kReplacement = 0xFFFD;

std::string FromUtf16(std::string_view b, bool bigEndian) {
    std::string out;
    out.reserve(b.size());
    auto unit = [&](std::size_t i) {
        const unsigned char x = static_cast<unsigned char>(b[i]);
        const unsigned char y = static_cast<unsigned char>(b[i + 1]);
        return bigEndian ? (x << 8 | y) : (y << 8 | x);
    };
    std::size_t i = 0;
    for (; i + 1 < b.size(); i += 2) {
        unsigned u = static_cast<unsigned>(unit(i));
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
            const unsigned low = static_cast<unsigned>(unit(i + 2));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        AppendUtf8(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u, out);
    }
    if (i < b.size()) AppendUtf8(kReplacement, out);  // an odd last byte
    return out;
}

std::string FromCp1252(std::string_view b) {
    std::string out;
    out.reserve(b.size() + b.size() / 8);
    for (unsigned char c : b) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            AppendUtf8(c < 0xA0 ? kCp1252High[c - 0x80] : c, out);
    }
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

// The value of `charset=` in a text such as a Content-Type ("text/html; charset=gbk").
std::string CharsetParameter(std::string_view s) {
    const std::string lower = LowerCase(s);
    std::size_t at = 0;
    while ((at = lower.find("charset", at)) != std::string::npos) {
        std::size_t i = at + 7;
        at = i;
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size() || s[i] != '=') continue;
        ++i;
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            const char quote = s[i++];
            const std::size_t end = s.find(quote, i);
            if (end == std::string_view::npos) return std::string();
            return std::string(s.substr(i, end - i));
        }
        std::size_t end = i;
        while (end < s.size() && !IsSpace(s[end]) && s[end] != ';') ++end;
        return std::string(s.substr(i, end - i));
    }
    return std::string();
}

}  // namespace

std::string CharsetOfLabel(std::string_view label) {
    std::size_t b = 0, e = label.size();
    while (b < e && IsSpace(label[b])) ++b;
    while (e > b && IsSpace(label[e - 1])) --e;
    const std::string key = LowerCase(label.substr(b, e - b));
    for (const Label& l : kLabels)
        if (key == l.label) return l.charset;
    return std::string();
}

std::string CharsetOfContentType(std::string_view contentType) {
    return CharsetOfLabel(CharsetParameter(contentType));
}

std::string PrescanMeta(std::string_view bytes) {
    const std::string_view s = bytes.substr(0, std::min<std::size_t>(bytes.size(), 1024));
    std::size_t i = 0;
    auto startsWith = [&](std::size_t at, const char* word) {
        const std::size_t n = std::strlen(word);
        if (at + n > s.size()) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (Lower(s[at + k]) != word[k]) return false;
        return true;
    };
    while (i < s.size()) {
        if (startsWith(i, "<!--")) {
            const std::size_t end = s.find("-->", i + 4);
            if (end == std::string_view::npos) return std::string();
            i = end + 3;
            continue;
        }
        if (!startsWith(i, "<meta") || i + 5 >= s.size() ||
            !(IsSpace(s[i + 5]) || s[i + 5] == '/')) {
            ++i;
            continue;
        }
        // A meta element: read its attributes.
        i += 5;
        std::string charset, content;
        bool httpEquivContentType = false;
        for (;;) {
            while (i < s.size() && (IsSpace(s[i]) || s[i] == '/')) ++i;
            if (i >= s.size() || s[i] == '>') break;
            std::size_t nameStart = i;
            while (i < s.size() && !IsSpace(s[i]) && s[i] != '=' && s[i] != '>' && s[i] != '/')
                ++i;
            const std::string name = LowerCase(s.substr(nameStart, i - nameStart));
            while (i < s.size() && IsSpace(s[i])) ++i;
            std::string value;
            if (i < s.size() && s[i] == '=') {
                ++i;
                while (i < s.size() && IsSpace(s[i])) ++i;
                if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
                    const char quote = s[i++];
                    const std::size_t end = s.find(quote, i);
                    if (end == std::string_view::npos) return std::string();
                    value = std::string(s.substr(i, end - i));
                    i = end + 1;
                } else {
                    const std::size_t start = i;
                    while (i < s.size() && !IsSpace(s[i]) && s[i] != '>') ++i;
                    value = std::string(s.substr(start, i - start));
                }
            }
            if (name == "charset" && charset.empty())
                charset = value;
            else if (name == "content" && content.empty())
                content = value;
            else if (name == "http-equiv")
                httpEquivContentType = LowerCase(value) == "content-type";
        }
        std::string found = CharsetOfLabel(charset);
        if (found.empty() && httpEquivContentType) found = CharsetOfLabel(CharsetParameter(content));
        // A page cannot say it is UTF-16 in bytes that are not: browsers read UTF-8 then.
        if (found.rfind("UTF-16", 0) == 0) found = "UTF-8";
        if (!found.empty()) return found;
    }
    return std::string();
}

std::string SniffCharset(std::string_view contentType, std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
    if (bytes.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
    if (bytes.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
    std::string charset = CharsetOfContentType(contentType);
    if (charset.empty()) charset = PrescanMeta(bytes);
    return charset.empty() ? "UTF-8" : charset;
}

std::string Decode(const std::string& charset, std::string_view bytes) {
    if (charset == "UTF-8") {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return ValidUtf8(std::string(bytes));
    }
    if (charset == "UTF-16LE" || charset == "UTF-16BE") {
        const bool be = charset == "UTF-16BE";
        if (bytes.substr(0, 2) == (be ? "\xFE\xFF" : "\xFF\xFE")) bytes.remove_prefix(2);
        return FromUtf16(bytes, be);
    }
    if (charset == "windows-1252") return FromCp1252(bytes);
    for (const auto& s : kSystem) {
        if (charset != s.charset) continue;
        std::string out;
        out.reserve(bytes.size() + bytes.size() / 2);
        if (AppendAsUtf8(s.encoding, bytes, out)) return ValidUtf8(out);
        break;
    }
    // A charset this system cannot read: what is ASCII still reads.
    return ValidUtf8(std::string(bytes));
}

std::string_view Utf8Of(std::string_view contentType, std::string_view bytes,
                        std::string& storage) {
    const std::string charset = SniffCharset(contentType, bytes);
    if (charset == "UTF-8") {
        std::string_view text = bytes;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        if (IsValidUtf8(text)) return text;
    }
    storage = Decode(charset, bytes);
    return storage;
}

std::string DecodeBody(std::string_view contentType, std::string_view bytes) {
    std::string storage;
    return std::string(Utf8Of(contentType, bytes, storage));
}

}  // namespace content
}  // namespace sentrel
