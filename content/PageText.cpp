#include "content/PageText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "content/Budget.h"
#include "content/Charset.h"
#include "content/Libxml.h"
#include "content/RawText.h"
#include "content/Selector.h"
#include "content/TextBuilder.h"

namespace sentrel {
namespace content {

namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC |
                              XML_PARSE_HUGE;  // deep nesting is bounded by the budget instead


// What the streaming parser's callbacks reach through the parser's _private.
struct Streaming {
    TextBuilder* builder;
    Budget* budget;
};

Streaming& StreamingOf(void* ctx) {
    return *static_cast<Streaming*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
}
// A callback that spent the budget (or met a slow rule) ends the parse at once.
void Spent(void* ctx) {
    if (StreamingOf(ctx).budget->Outcome() != PageReader::Outcome::Ok)
        Xml().xmlStopParser(static_cast<htmlParserCtxtPtr>(ctx));
}
void OnStart(void* ctx, const xmlChar* name, const xmlChar** attrs) {
    Streaming& s = StreamingOf(ctx);
    s.builder->Start(reinterpret_cast<const char*>(name), attrs);
    if (!s.budget->Spend()) Spent(ctx);
}
void OnEnd(void* ctx, const xmlChar* name) {
    StreamingOf(ctx).builder->End(reinterpret_cast<const char*>(name));
    Spent(ctx);
}
void OnCharacters(void* ctx, const xmlChar* s, int n) {
    Streaming& st = StreamingOf(ctx);
    st.builder->Characters(reinterpret_cast<const char*>(s), static_cast<std::size_t>(n));
    if (!st.budget->Spend(1 + static_cast<std::size_t>(n) / 256)) Spent(ctx);
}

// The tree's own handler, with a count of its elements against the budget.
void OnTreeStart(void* ctx, const xmlChar* name, const xmlChar** attrs) {
    const XmlApi& xml = Xml();
    xml.xmlSAX2StartElement(ctx, name, attrs);
    auto* c = static_cast<htmlParserCtxtPtr>(ctx);
    if (!static_cast<Budget*>(c->_private)->Node()) xml.xmlStopParser(c);
}

// The attributes of an element as the parser hands them to a start callback.
const xmlChar** AttributesOf(const xmlNode* node, std::vector<const xmlChar*>& attrs) {
    attrs.clear();
    for (xmlAttrPtr a = node->properties; a; a = a->next) {
        attrs.push_back(a->name);
        attrs.push_back(a->children ? a->children->content : nullptr);
    }
    attrs.push_back(nullptr);
    return attrs.data();
}

// The text of the region's nodes, with the rules of the streaming path, in one walk of the
// document: a node inside another of the region is in that one's text already.
bool RegionText(xmlDoc* doc, const std::unordered_set<const xmlNode*>& region, bool attributes,
                TextBuilder& b, Budget& budget) {
    std::vector<const xmlChar*> attrs;
    const xmlNode* top = region.count(reinterpret_cast<xmlNode*>(doc)) ? reinterpret_cast<xmlNode*>(doc) : nullptr;
    const xmlNode* n = doc->children;
    while (n) {
        if (!budget.Spend()) return false;
        if (!top && region.count(n)) top = n;
        const bool element = n->type == XML_ELEMENT_NODE;
        if (top) {
            if (element)
                b.Start(reinterpret_cast<const char*>(n->name), AttributesOf(n, attrs));
            else if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
                b.Characters(reinterpret_cast<const char*>(n->content),
                             std::strlen(reinterpret_cast<const char*>(n->content)));
        } else if (element && attributes) {
            for (xmlAttrPtr a = n->properties; a; a = a->next) {
                if (!region.count(reinterpret_cast<xmlNode*>(a))) continue;
                for (const xmlNode* t = a->children; t; t = t->next)
                    if (t->content)
                        b.Characters(reinterpret_cast<const char*>(t->content),
                                     std::strlen(reinterpret_cast<const char*>(t->content)));
                b.Break();
            }
        }
        if (element && n->children) {
            n = n->children;
            continue;
        }
        // Leave the node, and each parent whose last child it was.
        for (;;) {
            if (top && n->type == XML_ELEMENT_NODE) b.End(reinterpret_cast<const char*>(n->name));
            if (n == top) {
                b.Break();
                top = nullptr;
            }
            if (n->next) {
                n = n->next;
                break;
            }
            n = n->parent;
            if (!n || n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE) {
                n = nullptr;
                break;
            }
        }
    }
    b.Break();
    return budget.Outcome() == PageReader::Outcome::Ok;
}

// Plain text or JSON: its lines as they are, without carriage returns or empty lines.
void PlainText(std::string_view text, TextBuilder& b, Budget& budget) {
    std::size_t start = 0;
    while (start < text.size() && budget.Outcome() == PageReader::Outcome::Ok) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t e = end;
        while (e > start && (text[e - 1] == '\r' || text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
        if (e > start) b.Line(text.data() + start, e - start);
        start = end + 1;
    }
}

// The visible text of a whole page, streamed: no tree is built.
PageReader::Outcome StreamText(const XmlApi& xml, std::string_view html, TextBuilder& builder,
                               Budget& budget) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = OnStart;
    sax.endElement = OnEnd;
    sax.characters = OnCharacters;
    sax.ignorableWhitespace = OnCharacters;
    sax.cdataBlock = OnCharacters;
    htmlParserCtxtPtr ctxt =
        xml.htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!ctxt) return PageReader::Outcome::TooComplex;
    Streaming streaming{&builder, &budget};
    ctxt->_private = &streaming;
    xml.htmlCtxtUseOptions(ctxt, kParseOptions);
    const bool whole = FeedWithoutRawText(xml, ctxt, html, budget);
    if (whole) builder.Break();
    if (ctxt->myDoc) xml.xmlFreeDoc(ctxt->myDoc);
    xml.htmlFreeParserCtxt(ctxt);
    if (budget.Outcome() != PageReader::Outcome::Ok) return budget.Outcome();
    return whole ? PageReader::Outcome::Ok : PageReader::Outcome::TooComplex;
}

// The page's tree, as the streaming path sees it (without script and style text); null,
// with the budget saying why, when it could not be built whole.
xmlDocPtr BuildTree(const XmlApi& xml, std::string_view html, Budget& budget) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);  // an initialised handler would be left as it is
    xml.xmlSAX2InitHtmlDefaultSAXHandler(&sax);
    sax.startElement = OnTreeStart;
    htmlParserCtxtPtr ctxt =
        xml.htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!ctxt) return nullptr;
    ctxt->_private = &budget;
    xml.htmlCtxtUseOptions(ctxt, kParseOptions);
    const bool whole = FeedWithoutRawText(xml, ctxt, html, budget);
    xmlDocPtr doc = ctxt->myDoc;
    ctxt->myDoc = nullptr;
    xml.htmlFreeParserCtxt(ctxt);
    if (!whole || !doc) {
        // A tree cut short would be a region that looks fine and says nothing.
        if (doc) xml.xmlFreeDoc(doc);
        if (budget.Outcome() == PageReader::Outcome::Ok)
            budget.Fail(PageReader::Outcome::TooComplex);
        return nullptr;
    }
    return doc;
}

// The text of a body into `builder`: plain text by its lines, a whole page streamed, or a
// region found in the page's tree.
PageReader::Outcome ReadBody(std::string_view contentType, std::string_view body,
                             const Region* region, TextBuilder& builder, Budget& budget) {
    using Outcome = PageReader::Outcome;
    std::string decoded;
    const std::string_view utf8 = Utf8Of(contentType, body, decoded);
    if (!IsHtml(contentType, body)) {
        if (region) return Outcome::NoMatch;  // a region names elements of a page
        PlainText(utf8, builder, budget);
        return budget.Outcome();
    }
    const XmlApi* xml = PrepareLibxml();
    if (!xml) return Outcome::NoLibrary;
    if (!region) return StreamText(*xml, utf8, builder, budget);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(BuildTree(*xml, utf8, budget),
                                                     xml->xmlFreeDoc);
    if (!doc) return budget.Outcome();
    Region::Found found;
    if (!region->Select(doc.get(), budget, found))
        return budget.Outcome() == Outcome::Ok ? Outcome::NoMatch : budget.Outcome();
    if (found.bValue) {
        // A string, number or boolean expression: its value is the text.
        builder.Characters(found.value.data(), found.value.size());
        builder.Break();
        return budget.Outcome();
    }
    if (found.nodes.empty()) return Outcome::NoMatch;
    const std::unordered_set<const xmlNode*> nodes(found.nodes.begin(), found.nodes.end());
    const bool attributes = std::any_of(found.nodes.begin(), found.nodes.end(), [](const xmlNode* n) {
        return n->type == XML_ATTRIBUTE_NODE;
    });
    RegionText(doc.get(), nodes, attributes, builder, budget);
    return budget.Outcome();
}

}  // namespace

std::string VisibleText(std::string_view html, const IgnoreRules* ignore) {
    const XmlApi* xml = PrepareLibxml();
    std::string out;
    if (!xml) return out;
    const ReadBounds bounds;
    Budget budget(bounds);
    TextBuilder builder(out, ignore, budget);
    if (StreamText(*xml, html, builder, budget) != PageReader::Outcome::Ok) out.clear();
    return out;
}

bool IsHtml(std::string_view contentType, std::string_view body) {
    std::string type;
    for (char c : contentType.substr(0, contentType.find(';')))
        if (c != ' ' && c != '\t') type += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (type.find("html") != std::string::npos || type.find("xml") != std::string::npos)
        return true;
    if (!type.empty()) return false;
    // No type named: markup is what starts with a tag.
    std::size_t i = 0;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n'))
        ++i;
    return i < body.size() && body[i] == '<';
}

bool PageReader::Set(const std::string& select, const std::string& ignore, std::string& error) {
    Region region;
    const bool any = select.find_first_not_of(" \t\r\n") != std::string::npos;
    if (any && !region.Set(select, error)) return false;
    IgnoreRules rules;
    if (!rules.Parse(ignore, error)) return false;
    m_region = std::move(region);
    m_bRegion = any;
    m_ignore = std::move(rules);
    return true;
}

PageReader::Outcome PageReader::Read(std::string_view contentType, std::string_view body,
                                     std::string& text, const ReadBounds& bounds,
                                     std::string* rule) const {
    text.clear();
    if (m_bBroken) return Outcome::NoMatch;
    Budget budget(bounds);
    TextBuilder builder(text, m_ignore.Empty() ? nullptr : &m_ignore, budget);
    const Outcome outcome = ReadBody(contentType, body, m_bRegion ? &m_region : nullptr, builder, budget);
    if (outcome == Outcome::Ok) return outcome;
    if (outcome == Outcome::SlowRule && rule) *rule = builder.SlowRule();
    text.clear();
    return outcome;
}

}  // namespace content
}  // namespace sentrel
