#include "TextRules.h"

#include <cctype>
#include <climits>

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

}  // namespace sentrel
