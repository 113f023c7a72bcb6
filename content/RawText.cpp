#include "content/RawText.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

namespace sentrel {
namespace content {

namespace {

// Pieces are small enough that one of them costs a hostile page little, large enough that
// ordinary pages parse as fast as whole.
constexpr std::size_t kPiece = 4096;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

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
    return IsBlank(next) || next == '/' || next == '>';
}

// The tag name that starts at `at`, in lower case.
std::string TagName(std::string_view s, std::size_t at) {
    std::string name;
    for (; at < s.size() && !IsBlank(s[at]) && s[at] != '/' && s[at] != '>'; ++at)
        name += static_cast<char>(s[at] >= 'A' && s[at] <= 'Z' ? s[at] + 32 : s[at]);
    return name;
}

// Where the tag that opens at `lt` ends (just past its ">"), its quoted attribute values
// skipped whole; npos when it never ends. `cut` is where its attribute number
// kMaxAttributes + 1 starts, npos when it has no more.
std::size_t TagEnd(std::string_view s, std::size_t lt, std::size_t& cut) {
    cut = std::string_view::npos;
    std::size_t i = lt + 1, attributes = 0;
    bool afterEquals = false, separated = false;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '>') return i + 1;
        if (afterEquals && (c == '"' || c == '\'')) {
            const std::size_t close = s.find(c, i + 1);
            if (close == std::string_view::npos) return close;
            i = close + 1;
            afterEquals = false;
            separated = true;  // a name right after the quote starts the next attribute
            continue;
        }
        if (IsBlank(c)) {
            separated = true;
        } else if (c == '=') {
            afterEquals = true;
            separated = false;
        } else {
            if (separated && !afterEquals && c != '/' && ++attributes == kMaxAttributes + 1)
                cut = i;
            afterEquals = separated = false;
        }
        ++i;
    }
    return std::string_view::npos;
}

bool IsImplied(const std::string& name) {
    // Elements libxml2 opens by itself, whose end tags may close what no tag opened.
    return name == "html" || name == "head" || name == "body" || name == "p" || name == "br";
}

}  // namespace

bool ParserStopped(htmlParserCtxtPtr ctxt) {
    // A page that goes on after its end is not stopped: the parser has what counts.
    return ctxt->disableSAX != 0;
}

bool FeedWithoutRawText(const XmlApi& xml, htmlParserCtxtPtr ctxt, std::string_view s,
                        Budget& budget) {
    std::size_t fed = 0, i = 0;
    auto piece = [&](const char* data, std::size_t n) {
        xml.htmlParseChunk(ctxt, data, static_cast<int>(n), 0);
        return !ParserStopped(ctxt) && budget.Check();
    };
    auto feed = [&](std::size_t end) {  // bodies are bounded well below the parser's int
        while (fed < end) {
            const std::size_t n = std::min(kPiece, end - fed);
            const bool more = piece(s.data() + fed, n);
            fed += n;
            if (!more) return false;
        }
        return true;
    };
    // Names of the elements started so far; past a bound every end tag goes to the parser.
    std::unordered_set<std::string> opened;
    bool filtering = true;
    while ((i = s.find('<', i)) != std::string_view::npos) {
        if (s.compare(i, 4, "<!--") == 0) {
            const std::size_t end = s.find("-->", i + 4);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        const bool end = next == '/';
        const bool tag = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || end;
        if (!tag) {
            ++i;
            continue;
        }
        std::size_t cut;
        const std::size_t close = TagEnd(s, i, cut);
        if (cut != std::string_view::npos) {
            // The element with its first attributes only.
            if (!feed(cut) || !piece(">", 1)) return false;
            fed = close == std::string_view::npos ? s.size() : close;
        }
        if (close == std::string_view::npos) break;
        const std::string name = TagName(s, i + (end ? 2 : 1));
        if (end && filtering && !opened.count(name) && !IsImplied(name)) {
            // Closes nothing: the parser never needs to look for it.
            if (!feed(i)) return false;
            fed = close;
        } else if (!end && filtering) {
            filtering = opened.size() < 4096;
            opened.insert(name);
        }
        const char* raw = end ? nullptr : name == "script" ? "script" : name == "style" ? "style" : nullptr;
        i = close;
        if (!raw) continue;
        std::size_t rawEnd = close;
        while ((rawEnd = s.find("</", rawEnd)) != std::string_view::npos && !NameAt(s, rawEnd + 2, raw))
            rawEnd += 2;
        if (rawEnd == std::string_view::npos) break;  // never closed: the parser has the rest
        if (!feed(close)) return false;
        fed = i = rawEnd;
    }
    if (!feed(s.size())) return false;
    xml.htmlParseChunk(ctxt, nullptr, 0, 1);
    return !ParserStopped(ctxt);
}

}  // namespace content
}  // namespace sentrel
