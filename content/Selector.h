#pragma once
// A region of a page as the user names it: a CSS selector, or an XPath 1.0 expression
// (one that starts with "/" or "("). CSS is translated to XPath, so one engine runs both.
#include <string>

namespace sentrel {
namespace content {

/// The XPath that `selector` stands for. False with the reason, in the user's words, when
/// it is neither a CSS selector this reads nor an XPath expression that compiles.
bool SelectorToXPath(const std::string& selector, std::string& xpath, std::string& error);

/// The XPath of a CSS selector (no check that it compiles); false with the reason.
bool CssToXPath(const std::string& css, std::string& xpath, std::string& error);

}  // namespace content
}  // namespace sentrel
