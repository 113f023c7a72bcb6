#pragma once
// The text of a page that a text row compares: what a reader sees of it, one line per
// block, in UTF-8, with the region and ignore rules the user chose.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "content/IgnoreRules.h"
#include "content/ReadBounds.h"
#include "content/Selector.h"

namespace sentrel {
namespace content {

/// The visible text of an HTML document in UTF-8: no script, style, noscript, template,
/// comments, hidden elements, or head other than its title; one line per block, blanks
/// collapsed, empty lines left out; each line ends with "\n". Lines the rules drop are
/// left out too. Empty when the page cannot be read within the default bounds.
std::string VisibleText(std::string_view html, const IgnoreRules* ignore = nullptr);

/// True when an answer with this Content-Type (and these first bytes, when it names none)
/// is HTML rather than plain text or JSON.
bool IsHtml(std::string_view contentType, std::string_view body);

/// A text row's options, compiled once and used for every probe of the row. One thread
/// reads through it at a time.
class PageReader {
  public:
    /// The options as the row keeps them: the region (CSS selector or XPath, empty for the
    /// whole page) and the ignore rules, one per line. False with the reason, in the
    /// user's words, when either is malformed.
    bool Set(const std::string& select, const std::string& ignore, std::string& error);
    /// Options that could not be read: every page then has no region.
    void SetBroken() { m_bBroken = true; }

    using Outcome = ReadOutcome;
    /// The text to compare of a body (its bytes as they came, and its Content-Type);
    /// anything but Ok leaves no text. After SlowRule, `rule` (when given) names the rule.
    Outcome Read(std::string_view contentType, std::string_view body, std::string& text,
                 const ReadBounds& bounds = ReadBounds(), std::string* rule = nullptr) const;

  private:
    Region m_region;
    bool m_bRegion = false;
    IgnoreRules m_ignore;
    bool m_bBroken = false;
};

}  // namespace content
}  // namespace sentrel
