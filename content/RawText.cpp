#include "RawText.h"

#include <cstring>

namespace sentrel {
namespace content {

namespace {

bool NameAt(std::string_view s, std::size_t at, const char* name) {
    const std::size_t n = std::strlen(name);
    if (at + n > s.size()) return false;
    for (std::size_t k = 0; k < n; ++k) {
        const char c = s[at + k];
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != name[k]) return false;
    }
    // The name ends there: a blank, "/" or ">" follows (or the page ends).
    if (at + n == s.size()) return true;
    const char next = s[at + n];
    return next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '\f' ||
           next == '/' || next == '>';
}

// Where the tag that opens at `lt` ends (just past its ">"), its quoted attribute values
// skipped whole; npos when it never ends.
std::size_t TagEnd(std::string_view s, std::size_t lt) {
    std::size_t i = lt + 1;
    bool afterEquals = false;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '>') return i + 1;
        if (afterEquals && (c == '"' || c == '\'')) {
            const std::size_t close = s.find(c, i + 1);
            if (close == std::string_view::npos) return close;
            i = close + 1;
            afterEquals = false;
            continue;
        }
        if (c == '=') afterEquals = true;
        else if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') afterEquals = false;
        ++i;
    }
    return std::string_view::npos;
}

}  // namespace

void FeedWithoutRawText(htmlParserCtxtPtr ctxt, std::string_view s) {
    std::size_t fed = 0, i = 0;
    auto feed = [&](std::size_t end) {
        if (end > fed) htmlParseChunk(ctxt, s.data() + fed, static_cast<int>(end - fed), 0);
    };
    while ((i = s.find('<', i)) != std::string_view::npos) {
        if (s.compare(i, 4, "<!--") == 0) {
            const std::size_t end = s.find("-->", i + 4);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        const char* raw = NameAt(s, i + 1, "script") ? "script" : NameAt(s, i + 1, "style") ? "style" : nullptr;
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        const bool tag = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || next == '/';
        if (!tag) {
            ++i;
            continue;
        }
        const std::size_t open = TagEnd(s, i);
        if (open == std::string_view::npos) break;
        i = open;
        if (!raw) continue;
        std::size_t close = open;
        while ((close = s.find("</", close)) != std::string_view::npos && !NameAt(s, close + 2, raw))
            close += 2;
        if (close == std::string_view::npos) break;  // never closed: the parser has the rest
        feed(open);
        fed = i = close;
    }
    feed(s.size());
    htmlParseChunk(ctxt, nullptr, 0, 1);
}

}  // namespace content
}  // namespace sentrel
