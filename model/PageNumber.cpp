#include "model/PageNumber.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace sentrel {

namespace {

// One character of the text, decoded as far as a number needs: a digit's value (full-width
// ones too), or what kind of separator it is.
struct Symbol {
    enum Kind { kDigit, kPoint, kComma, kSpace, kApostrophe, kMinus, kOther } kind = kOther;
    int digit = 0;
    std::size_t size = 1;  // bytes
};

Symbol Decode(std::string_view s, std::size_t i) {
    Symbol sym;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= '0' && c <= '9') return {Symbol::kDigit, c - '0', 1};
    if (c == '.') return {Symbol::kPoint, 0, 1};
    if (c == ',') return {Symbol::kComma, 0, 1};
    if (c == ' ') return {Symbol::kSpace, 0, 1};
    if (c == '\'') return {Symbol::kApostrophe, 0, 1};
    if (c == '-') return {Symbol::kMinus, 0, 1};
    auto at = [&](std::size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0; };
    if (c == 0xC2 && at(1) == 0xA0) return {Symbol::kSpace, 0, 2};  // no-break space
    if (c == 0xE2 && at(1) == 0x80 && (at(2) == 0xAF || at(2) == 0x89)) return {Symbol::kSpace, 0, 3};  // narrow, thin
    if (c == 0xE2 && at(1) == 0x80 && at(2) == 0x99) return {Symbol::kApostrophe, 0, 3};  // ’
    if (c == 0xE2 && at(1) == 0x88 && at(2) == 0x92) return {Symbol::kMinus, 0, 3};       // −
    if (c == 0xEF && at(1) == 0xBC && at(2) >= 0x90 && at(2) <= 0x99) return {Symbol::kDigit, at(2) - 0x90, 3};
    if (c == 0xEF && at(1) == 0xBC && at(2) == 0x8D) return {Symbol::kMinus, 0, 3};  // full-width minus
    if (c >= 0xC0) sym.size = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    sym.size = std::min(sym.size, s.size() - i);
    return sym;
}

// Reads a number starting at a digit at `i`: its digit groups and the separators between
// them, then which separator (if any) is the decimal one. `end` is where the number ends.
double ReadAt(std::string_view s, std::size_t i, std::size_t& end) {
    std::vector<std::string> groups(1);
    std::vector<std::size_t> ends(1, i);  // where each group ends
    std::vector<Symbol::Kind> seps;
    for (std::size_t pos = i; pos < s.size();) {
        const Symbol sym = Decode(s, pos);
        if (sym.kind == Symbol::kDigit) {
            groups.back() += static_cast<char>('0' + sym.digit);
            pos += sym.size;
            ends.back() = pos;
            continue;
        }
        // A separator counts only when a digit follows it.
        const bool separator = sym.kind != Symbol::kOther && sym.kind != Symbol::kMinus;
        if (!separator || pos + sym.size >= s.size() || Decode(s, pos + sym.size).kind != Symbol::kDigit) break;
        seps.push_back(sym.kind);
        groups.emplace_back();
        ends.push_back(pos + sym.size);
        pos += sym.size;
    }
    // The integer part: the first group, then groups of three after one and the same
    // thousands separator ("1.299" and "1,299" group thousands); a comma or point before
    // any other count of digits, or after a first group that cannot start a grouping
    // ("0.125"), is the decimal one, and ends the number.
    std::string number = groups[0];
    const bool canGroup = groups[0].size() <= 3 && groups[0][0] != '0';
    Symbol::Kind thousands = Symbol::kOther;
    std::size_t used = 1;
    for (std::size_t g = 1; g < groups.size(); ++g) {
        const Symbol::Kind sep = seps[g - 1];
        if (canGroup && groups[g].size() == 3 && (thousands == Symbol::kOther || sep == thousands)) {
            thousands = sep;
            number += groups[g];
            used = g + 1;
            continue;
        }
        if ((sep == Symbol::kPoint || sep == Symbol::kComma) && sep != thousands) {
            number += "." + groups[g];
            used = g + 1;
        }
        break;
    }
    end = ends[used - 1];
    return std::strtod(number.c_str(), nullptr);
}

}  // namespace

bool FirstNumber(std::string_view text, double& value) {
    for (std::size_t i = 0; i < text.size();) {
        const Symbol sym = Decode(text, i);
        if (sym.kind != Symbol::kDigit) {
            i += sym.size;
            continue;
        }
        std::size_t end = i;
        value = ReadAt(text, i, end);
        if (!std::isfinite(value)) {  // no number a condition can compare: the next one is
            i = std::max(end, i + 1);
            continue;
        }
        // A minus directly before it; a sign that ends a word ("No-5") is still a minus.
        if (i > 0) {
            std::size_t back = i - 1;
            while (back > 0 && (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80) --back;
            if (Decode(text, back).kind == Symbol::kMinus && back + Decode(text, back).size == i) value = -value;
        }
        return true;
    }
    return false;
}

bool ReadNumber(std::string_view text, double& value) {
    std::size_t start = 0, stop = text.size();
    while (start < stop && (text[start] == ' ' || text[start] == '\t')) ++start;
    while (stop > start && (text[stop - 1] == ' ' || text[stop - 1] == '\t')) --stop;
    const std::string_view t = text.substr(start, stop - start);
    if (t.empty()) return false;
    std::size_t i = 0;
    bool negative = false;
    const Symbol first = Decode(t, 0);
    if (first.kind == Symbol::kMinus) {
        negative = true;
        i = first.size;
    }
    if (i >= t.size() || Decode(t, i).kind != Symbol::kDigit) return false;
    std::size_t end = i;
    value = ReadAt(t, i, end);
    if (end != t.size()) return false;
    if (negative) value = -value;
    return std::isfinite(value);
}

std::string NumberText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

}  // namespace sentrel
