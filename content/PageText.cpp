#include "PageText.h"

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "Charset.h"
#include "Libxml.h"
#include "RawText.h"
#include "Selector.h"

namespace sentrel {
namespace content {

namespace {
void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, xmlErrorPtr) {}
}  // namespace

void PrepareLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    xmlSetGenericErrorFunc(nullptr, Quiet);
    xmlSetStructuredErrorFunc(nullptr, QuietStructured);
}

namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC;

enum Role : unsigned char { kInline = 0, kBlock = 1, kSkip = 2, kPre = 4, kHead = 8, kTitle = 16 };

struct NamedRole {
    const char* name;
    unsigned char role;
};
// What each element does to the text; any other element is inline.
constexpr NamedRole kRoles[] = {
    {"address", kBlock}, {"article", kBlock}, {"aside", kBlock}, {"blockquote", kBlock},
    {"body", kBlock}, {"br", kBlock}, {"caption", kBlock}, {"center", kBlock}, {"dd", kBlock},
    {"details", kBlock}, {"dialog", kBlock}, {"div", kBlock}, {"dl", kBlock}, {"dt", kBlock},
    {"fieldset", kBlock}, {"figcaption", kBlock}, {"figure", kBlock}, {"footer", kBlock},
    {"form", kBlock}, {"h1", kBlock}, {"h2", kBlock}, {"h3", kBlock}, {"h4", kBlock},
    {"h5", kBlock}, {"h6", kBlock}, {"header", kBlock}, {"hgroup", kBlock}, {"hr", kBlock},
    {"html", kBlock}, {"legend", kBlock}, {"li", kBlock}, {"main", kBlock}, {"menu", kBlock},
    {"nav", kBlock}, {"ol", kBlock}, {"option", kBlock}, {"p", kBlock}, {"pre", kBlock | kPre},
    {"section", kBlock}, {"summary", kBlock}, {"table", kBlock}, {"tbody", kBlock},
    {"td", kBlock}, {"tfoot", kBlock}, {"th", kBlock}, {"thead", kBlock}, {"tr", kBlock},
    {"ul", kBlock}, {"textarea", kBlock | kPre}, {"listing", kBlock | kPre},
    {"xmp", kBlock | kPre}, {"plaintext", kBlock | kPre},
    {"script", kSkip}, {"style", kSkip}, {"noscript", kSkip}, {"template", kSkip},
    {"svg", kSkip}, {"math", kSkip}, {"iframe", kSkip}, {"object", kSkip}, {"embed", kSkip},
    {"canvas", kSkip}, {"audio", kSkip}, {"video", kSkip}, {"select", kSkip},
    {"head", kHead}, {"title", kBlock | kTitle},
};

unsigned char RoleOf(const char* name) {
    // Element names are short: compare the first byte before the rest.
    for (const NamedRole& r : kRoles)
        if (r.name[0] == name[0] && std::strcmp(r.name, name) == 0) return r.role;
    return kInline;
}

// An element hidden by its own attributes: `hidden`, or an inline display:none.
bool Hidden(const xmlChar** attrs) {
    if (!attrs) return false;
    for (const xmlChar** a = attrs; a[0]; a += 2) {
        const char* name = reinterpret_cast<const char*>(a[0]);
        if (name[0] != 'h' && name[0] != 's') continue;  // most attributes are neither
        if (std::strcmp(name, "hidden") == 0) return true;
        if (std::strcmp(name, "style") != 0 || !a[1]) continue;
        std::string style;
        for (const xmlChar* c = a[1]; *c; ++c)
            if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r')
                style += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c + 32 : *c);
        if (style.find("display:none") != std::string::npos ||
            style.find("visibility:hidden") != std::string::npos)
            return true;
    }
    return false;
}

// Builds the text's lines from the document's elements and characters, in order; the
// streaming parser and the walk of a region's elements both feed it.
class TextBuilder {
  public:
    TextBuilder(std::string& out, const IgnoreRules* ignore) : m_out(out), m_ignore(ignore) {}

    // Names come interned from the parser's dictionary (and from a tree that lives as
    // long as this): a name's role is looked up once per pointer.
    unsigned char Role(const char* name) {
        const std::size_t slot = (reinterpret_cast<std::uintptr_t>(name) >> 4) % kCache;
        if (m_cache[slot].name != name) m_cache[slot] = {name, RoleOf(name)};
        return m_cache[slot].role;
    }

    void Start(const char* name, const xmlChar** attrs) {
        unsigned char role = Role(name);
        if (role != kInline && (role & kBlock) && m_skip == 0) Break();
        if (Hidden(attrs)) role |= kSkip;
        m_stack.push_back({name, role});
        Count(role, 1);
    }
    void End(const char* name) {
        // Find the element this ends; an end with no start is nothing.
        std::size_t i = m_stack.size();
        while (i > 0 && m_stack[i - 1].name != name && std::strcmp(m_stack[i - 1].name, name) != 0)
            --i;
        if (i == 0) return;
        while (m_stack.size() >= i) {
            const unsigned char role = m_stack.back().role;
            Count(role, -1);
            m_stack.pop_back();
            if ((role & kBlock) && m_skip == 0) Break();
        }
    }
    void Characters(const char* s, std::size_t n) {
        if (m_skip > 0 || (m_head > 0 && m_title == 0)) return;
        for (std::size_t i = 0; i < n;) {
            const char c = s[i];
            if (c == '\n' && m_pre > 0) {
                Break();
                ++i;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                m_space = true;
                ++i;
            } else if (c == '\xC2' && i + 1 < n && s[i + 1] == '\xA0') {
                m_space = true;  // a no-break space is a blank to compare
                i += 2;
            } else {
                // A word at a time.
                std::size_t end = i + 1;
                while (end < n && s[end] != ' ' && s[end] != '\n' && s[end] != '\t' &&
                       s[end] != '\r' && s[end] != '\f' && s[end] != '\xC2')
                    ++end;
                if (m_space && !m_line.empty()) m_line += ' ';
                m_space = false;
                m_line.append(s + i, end - i);
                i = end;
            }
        }
    }
    void Break() {
        if (!m_line.empty() && !(m_ignore && m_ignore->Drops(m_line.data(), m_line.size()))) {
            m_out += m_line;
            m_out += '\n';
        }
        m_line.clear();
        m_space = false;
    }

  private:
    struct Open {
        const char* name;
        unsigned char role;
    };
    static constexpr std::size_t kCache = 64;
    struct Cached {
        const char* name = nullptr;
        unsigned char role = kInline;
    };
    Cached m_cache[kCache];
    void Count(unsigned char role, int d) {
        if (role & kSkip) m_skip += d;
        if (role & kPre) m_pre += d;
        if (role & kHead) m_head += d;
        if (role & kTitle) m_title += d;
    }

    std::string& m_out;
    const IgnoreRules* m_ignore;
    std::vector<Open> m_stack;
    std::string m_line;
    bool m_space = false;
    int m_skip = 0, m_pre = 0, m_head = 0, m_title = 0;
};

void OnStart(void* ctx, const xmlChar* name, const xmlChar** attrs) {
    static_cast<TextBuilder*>(static_cast<htmlParserCtxtPtr>(ctx)->_private)
        ->Start(reinterpret_cast<const char*>(name), attrs);
}
void OnEnd(void* ctx, const xmlChar* name) {
    static_cast<TextBuilder*>(static_cast<htmlParserCtxtPtr>(ctx)->_private)
        ->End(reinterpret_cast<const char*>(name));
}
void OnCharacters(void* ctx, const xmlChar* s, int n) {
    static_cast<TextBuilder*>(static_cast<htmlParserCtxtPtr>(ctx)->_private)
        ->Characters(reinterpret_cast<const char*>(s), static_cast<std::size_t>(n));
}

// The text of one node of a parsed document, with the rules of the streaming path.
void Walk(xmlNodePtr node, TextBuilder& b, int depth) {
    if (depth > 1000) return;
    switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (node->content)
                b.Characters(reinterpret_cast<const char*>(node->content),
                             std::strlen(reinterpret_cast<const char*>(node->content)));
            return;
        case XML_ELEMENT_NODE: {
            std::vector<const xmlChar*> attrs;
            for (xmlAttrPtr a = node->properties; a; a = a->next) {
                attrs.push_back(a->name);
                attrs.push_back(a->children ? a->children->content : nullptr);
            }
            attrs.push_back(nullptr);
            const char* name = reinterpret_cast<const char*>(node->name);
            b.Start(name, attrs.data());
            for (xmlNodePtr c = node->children; c; c = c->next) Walk(c, b, depth + 1);
            b.End(name);
            return;
        }
        case XML_ATTRIBUTE_NODE:
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE:
            for (xmlNodePtr c = node->children; c; c = c->next) Walk(c, b, depth + 1);
            b.Break();
            return;
        default:
            return;  // comments, processing instructions
    }
}

// Plain text or JSON: its lines as they are, without carriage returns or empty lines.
std::string PlainText(const std::string& text, const IgnoreRules* ignore) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t e = end;
        while (e > start && (text[e - 1] == '\r' || text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
        if (e > start && !(ignore && ignore->Drops(text.data() + start, e - start))) {
            out.append(text, start, e - start);
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string VisibleText(std::string_view html, const IgnoreRules* ignore) {
    PrepareLibxml();
    std::string out;
    TextBuilder builder(out, ignore);
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = OnStart;
    sax.endElement = OnEnd;
    sax.characters = OnCharacters;
    sax.ignorableWhitespace = OnCharacters;
    sax.cdataBlock = OnCharacters;
    htmlParserCtxtPtr ctxt =
        htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!ctxt) return out;
    ctxt->_private = &builder;
    htmlCtxtUseOptions(ctxt, kParseOptions);
    FeedWithoutRawText(ctxt, html);  // bodies are bounded well below the parser's int
    builder.Break();
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    htmlFreeParserCtxt(ctxt);
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
    std::string xpath;
    if (select.find_first_not_of(" \t\r\n") != std::string::npos &&
        !SelectorToXPath(select, xpath, error))
        return false;
    IgnoreRules rules;
    if (!rules.Parse(ignore, error)) return false;
    m_xpath = xpath;
    m_ignore = std::move(rules);
    return true;
}

PageReader::Outcome PageReader::Read(std::string_view contentType, std::string_view body,
                                     std::string& text) const {
    text.clear();
    if (m_bBroken) return Outcome::NoMatch;
    const IgnoreRules* ignore = m_ignore.Empty() ? nullptr : &m_ignore;
    std::string decoded;
    const std::string_view utf8 = Utf8Of(contentType, body, decoded);
    if (!IsHtml(contentType, body)) {
        if (!m_xpath.empty()) return Outcome::NoMatch;  // a region names elements of a page
        text = PlainText(std::string(utf8), ignore);
        return Outcome::Ok;
    }
    if (m_xpath.empty()) {
        text = VisibleText(utf8, ignore);
        return Outcome::Ok;
    }
    PrepareLibxml();
    // The tree of the page, as the streaming path sees it (without script and style text).
    htmlParserCtxtPtr ctxt =
        htmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!ctxt) return Outcome::NoMatch;
    htmlCtxtUseOptions(ctxt, kParseOptions);
    FeedWithoutRawText(ctxt, utf8);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(ctxt->myDoc, xmlFreeDoc);
    ctxt->myDoc = nullptr;
    htmlFreeParserCtxt(ctxt);
    if (!doc) return Outcome::NoMatch;
    std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> context(
        xmlXPathNewContext(doc.get()), xmlXPathFreeContext);
    if (!context) return Outcome::NoMatch;
    context->node = reinterpret_cast<xmlNodePtr>(doc.get());  // CSS reads from the document down
    std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> found(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(m_xpath.c_str()), context.get()),
        xmlXPathFreeObject);
    if (!found) return Outcome::NoMatch;
    TextBuilder builder(text, ignore);
    if (found->type == XPATH_NODESET) {
        xmlNodeSetPtr set = found->nodesetval;
        if (!set || set->nodeNr == 0) return Outcome::NoMatch;
        // An element inside another that matched is already in that one's text.
        std::unordered_set<xmlNodePtr> matched(set->nodeTab, set->nodeTab + set->nodeNr);
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNodePtr node = set->nodeTab[i];
            bool inner = false;
            for (xmlNodePtr p = node->parent; p && !inner; p = p->parent) inner = matched.count(p) > 0;
            if (inner) continue;
            Walk(node, builder, 0);
            builder.Break();
        }
    } else {
        // A string, number or boolean expression: its value is the text.
        xmlChar* value = xmlXPathCastToString(found.get());
        if (value) {
            builder.Characters(reinterpret_cast<const char*>(value),
                               std::strlen(reinterpret_cast<const char*>(value)));
            xmlFree(value);
        }
        builder.Break();
    }
    return Outcome::Ok;
}

}  // namespace content
}  // namespace sentrel
