#pragma once
// A region of a page as the user names it: a CSS selector, or an XPath 1.0 expression
// (one that starts with "/" or "("). CSS is matched on the page's tree in one walk, so
// that sibling and position selectors cost what the page's size costs; XPath runs in
// libxml2 with a bound on its work.
#include <memory>
#include <string>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace sentrel {
namespace content {

class Budget;
struct CssList;

class Region {
  public:
    Region();
    ~Region();
    Region(Region&&) noexcept;
    Region& operator=(Region&&) noexcept;

    /// Reads `selector`; false with the reason, in the user's words, when it is neither a
    /// CSS selector this reads nor an XPath expression that compiles. An empty (or blank)
    /// selector is refused: no region is the whole page, which the caller decides.
    bool Set(const std::string& selector, std::string& error);

    /// What the region is in a document.
    struct Found {
        std::vector<_xmlNode*> nodes;  ///< in document order (an XPath's may hold any node)
        bool bValue = false;           ///< an XPath of a string, number or boolean instead
        std::string value;
    };
    /// False when the work ran out first (the budget says why) or the expression failed.
    bool Select(_xmlDoc* doc, Budget& budget, Found& found) const;

  private:
    std::string m_xpath;  // the selector, when it is XPath
    std::unique_ptr<const CssList> m_css;  // a CSS selector list as the matcher reads it
};

}  // namespace content
}  // namespace sentrel
