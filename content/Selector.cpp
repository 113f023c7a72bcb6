#include "content/Selector.h"

#include <libxml/xpathInternals.h>

#include <memory>

#include "base/Translate.h"
#include "content/Budget.h"
#include "content/CssSelector.h"
#include "content/Libxml.h"

namespace sentrel {
namespace content {

namespace {
// The nodes an XPath may visit: every node of a large page many times over, far from the
// billions a quadratic expression visits on a long list.
constexpr unsigned long kXPathOps = 50000000;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
}  // namespace

Region::Region() = default;
Region::~Region() = default;
Region::Region(Region&&) noexcept = default;
Region& Region::operator=(Region&&) noexcept = default;

bool Region::Set(const std::string& selector, std::string& error) {
    std::size_t b = 0, e = selector.size();
    while (b < e && IsSpace(selector[b])) ++b;
    while (e > b && IsSpace(selector[e - 1])) --e;
    const std::string s = selector.substr(b, e - b);
    if (s.empty()) {
        error = Tr("选择器为空");
        return false;
    }
    if (s[0] != '/' && s[0] != '(') {
        auto css = std::make_unique<CssList>();
        if (!ReadCss(s, *css, error)) return false;
        m_css = std::move(css);
        m_xpath.clear();
        return true;
    }
    // The answer is whether it compiled, not libxml2's message.
    const XmlApi* xml = PrepareLibxml();
    if (!xml) {
        error = Tr("无法载入 libxml2");
        return false;
    }
    std::unique_ptr<xmlXPathCompExpr, void (*)(xmlXPathCompExprPtr)> comp(
        xml->xmlXPathCompile(reinterpret_cast<const xmlChar*>(s.c_str())),
        xml->xmlXPathFreeCompExpr);
    if (!comp) {
        error = Fill(Tr("XPath 表达式有误：{0}"), {s});
        return false;
    }
    m_xpath = s;
    m_css.reset();
    return true;
}

bool Region::Select(xmlDoc* doc, Budget& budget, Found& found) const {
    found = Found();
    if (m_css) return MatchCss(*m_css, doc, budget, found.nodes);
    if (m_xpath.empty()) return false;
    const XmlApi& xml = Xml();
    std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> context(
        xml.xmlXPathNewContext(doc), xml.xmlXPathFreeContext);
    if (!context) return false;
    context->node = reinterpret_cast<xmlNodePtr>(doc);
    context->opLimit = kXPathOps;
    std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> result(
        xml.xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(m_xpath.c_str()),
                                   context.get()),
        xml.xmlXPathFreeObject);
    if (!result) {
        if (context->opCount >= kXPathOps) budget.Fail(ReadOutcome::TooComplex);
        return false;
    }
    if (result->type == XPATH_NODESET) {
        if (const xmlNodeSet* set = result->nodesetval)
            found.nodes.assign(set->nodeTab, set->nodeTab + set->nodeNr);
        return budget.Spend(found.nodes.size());
    }
    found.bValue = true;
    if (xmlChar* value = xml.xmlXPathCastToString(result.get())) {
        found.value = reinterpret_cast<const char*>(value);
        xml.Free(value);
    }
    return true;
}

}  // namespace content
}  // namespace sentrel