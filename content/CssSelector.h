#pragma once
// Inside this module: a CSS selector list as it is read and matched. Read once by
// CssRead.cpp; matched on a page's tree in one walk by CssMatch.cpp.
#include <libxml/tree.h>

#include <string>
#include <vector>

#include "content/Budget.h"

namespace sentrel {
namespace content {

/// One condition of a compound: #id, .class, [attr...], a position, :empty, :not(...).
struct Simple {
    enum Kind { kId, kClass, kAttr, kNth, kEmpty, kNot } kind = kId;
    std::string name;   // id, class or attribute name; kNot: a type ("*" for any), or empty
    char op = 0;        // kAttr: 0 (present), '=', '~', '|', '^', '$', '*'
    std::string value;  // kAttr
    long a = 0, b = 0;  // kNth: the position is a*k + b for some k >= 0
    bool bFromEnd = false, bOfType = false;
    std::vector<Simple> inner;  // kNot: the condition it denies, when not a type
};

/// A type (or *) and its conditions.
struct Compound {
    std::string tag = "*";
    std::vector<Simple> conds;
};

// "A > B C": compounds joined by combinators (' ', '>', '+', '~'), the subject last.
struct Complex {
    std::vector<Compound> parts;
    std::string combinators;  // combinators[i] joins parts[i] and parts[i + 1]
};


/// A selector list as it is matched.
struct CssList {
    std::vector<Complex> list;
    int nCompounds = 0;
    bool bFromEnd = false;  // some position counts from the last sibling
    bool bOfType = false;   // some position counts siblings of the same type
};

/// The compounds of one selector list ("div > p, li + li" has four): one bit each.
constexpr int kMaxCompounds = 64;

/// Reads a CSS selector list; false with the reason, in the user's words.
bool ReadCss(const std::string& text, CssList& css, std::string& error);

/// Every element that some selector of the list matches, in document order; false when
/// the budget ran out first.
bool MatchCss(const CssList& css, xmlDoc* doc, Budget& budget, std::vector<xmlNode*>& out);

}  // namespace content
}  // namespace sentrel
