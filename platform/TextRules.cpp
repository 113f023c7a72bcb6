#include "platform/TextRules.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>

namespace sentrel {

int AtoiClamped(const char* text) {
    if (!text) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    long long v = 0;
    for (; std::isdigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (neg) return v > INT_MAX ? INT_MIN : static_cast<int>(-v);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

std::string TrimBlanks(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        // Pages are mostly ASCII: eight bytes at a time while they are.
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3
                                : c >= 0xf0 && c <= 0xf4                          ? 4
                                                                                  : 0;
        if (len == 0 || i + len > n) return false;
        const unsigned char lo = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
        const unsigned char hi = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xbf) return false;
        i += len;
    }
    return true;
}

std::string ValidUtf8(const std::string& text) {
    if (IsValidUtf8(text)) return text;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        int len = c < 0x80                 ? 1
                  : c >= 0xc2 && c <= 0xdf ? 2
                  : c >= 0xe0 && c <= 0xef ? 3
                  : c >= 0xf0 && c <= 0xf4 ? 4
                                           : 0;
        // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
        unsigned char lo = 0x80, hi = 0xbf;
        if (c == 0xe0) lo = 0xa0;
        if (c == 0xed) hi = 0x9f;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char b = p[i + static_cast<std::size_t>(k)];
            ok = k == 1 ? b >= lo && b <= hi : b >= 0x80 && b <= 0xbf;
        }
        if (ok) {
            out.append(text, i, static_cast<std::size_t>(len));
            i += static_cast<std::size_t>(len);
        } else {
            out += "\xef\xbf\xbd";
            ++i;
        }
    }
    return out;
}

std::string WithoutPassword(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t start = scheme + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    const std::size_t at = url.rfind('@', end == std::string::npos ? url.size() : end);
    if (at == std::string::npos || at < start) return url;
    const std::size_t colon = url.find(':', start);
    if (colon == std::string::npos || colon > at) return url;  // a user name alone is no secret
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

std::string CutText(const std::string& text, std::size_t chars) {
    std::size_t i = 0, n = 0;
    while (i < text.size() && n < chars) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        ++n;
    }
    return i < text.size() ? text.substr(0, i) + "…" : text;
}

}  // namespace sentrel
