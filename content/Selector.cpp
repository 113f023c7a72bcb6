#include "Selector.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "Budget.h"
#include "Libxml.h"
#include "Translate.h"

namespace sentrel {
namespace content {

namespace {

// The nodes an XPath may visit: every node of a large page many times over, far from the
// billions a quadratic expression visits on a long list.
constexpr unsigned long kXPathOps = 50000000;
// The compounds of one selector list ("div > p, li + li" has four): one bit each.
constexpr int kMaxCompounds = 64;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || u >= 0x80;
}

// One condition of a compound: #id, .class, [attr...], a position, :empty, :not(...).
struct Simple {
    enum Kind { kId, kClass, kAttr, kNth, kEmpty, kNot } kind = kId;
    std::string name;   // id, class or attribute name; kNot: a type ("*" for any), or empty
    char op = 0;        // kAttr: 0 (present), '=', '~', '|', '^', '$', '*'
    std::string value;  // kAttr
    long a = 0, b = 0;  // kNth: the position is a*k + b for some k >= 0
    bool bFromEnd = false, bOfType = false;
    std::vector<Simple> inner;  // kNot: the condition it denies, when not a type
};

struct Compound {
    std::string tag = "*";
    std::vector<Simple> conds;
};

// "A > B C": compounds joined by combinators (' ', '>', '+', '~'), the subject last.
struct Complex {
    std::vector<Compound> parts;
    std::string combinators;  // combinators[i] joins parts[i] and parts[i + 1]
};

}  // namespace

struct Region::Css {
    std::vector<Complex> list;
    int nCompounds = 0;
    bool bFromEnd = false;  // some position counts from the last sibling
    bool bOfType = false;   // some position counts siblings of the same type
};

namespace {

// Reads a CSS selector list; a recursive-descent reader of the forms that pages' regions
// are named with.
class CssReader {
  public:
    explicit CssReader(const std::string& s) : m_s(s) {}

    bool Read(Region::Css& css, std::string& error) {
        do {
            SkipSpace();
            Complex one;
            if (!ReadComplex(one)) break;
            css.nCompounds += static_cast<int>(one.parts.size());
            css.list.push_back(std::move(one));
            SkipSpace();
        } while (Eat(','));
        if (m_error.empty() && m_i < m_s.size()) Fail(Tr("无法识别"));
        if (m_error.empty() && css.nCompounds > kMaxCompounds)
            m_error = Fill(Tr("选择器过长（最多 {0} 个部分）"), {std::to_string(kMaxCompounds)});
        if (!m_error.empty()) {
            error = m_error;
            return false;
        }
        for (const Complex& c : css.list)
            for (const Compound& part : c.parts) Note(css, part.conds);
        return true;
    }

  private:
    static void Note(Region::Css& css, const std::vector<Simple>& conds) {
        for (const Simple& s : conds) {
            css.bFromEnd = css.bFromEnd || (s.kind == Simple::kNth && s.bFromEnd);
            css.bOfType = css.bOfType || (s.kind == Simple::kNth && s.bOfType);
            Note(css, s.inner);
        }
    }
    bool Fail(const std::string& what) {
        if (m_error.empty())
            m_error = Fill(Tr("选择器有误：{0}（第 {1} 个字符{2}）"),
                           {what, std::to_string(m_i + 1),
                            m_i < m_s.size() ? "“" + m_s.substr(m_i, 12) + "”" : std::string()});
        return false;
    }
    bool AtEnd() const { return m_i >= m_s.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_s[m_i]; }
    bool Eat(char c) {
        if (Peek() != c) return false;
        ++m_i;
        return true;
    }
    bool SkipSpace() {
        const std::size_t start = m_i;
        while (!AtEnd() && IsSpace(m_s[m_i])) ++m_i;
        return m_i > start;
    }

    // An identifier, with CSS's backslash escapes of single characters.
    bool Ident(std::string& name) {
        name.clear();
        while (!AtEnd()) {
            if (m_s[m_i] == '\\' && m_i + 1 < m_s.size()) {
                name += m_s[m_i + 1];
                m_i += 2;
            } else if (IsNameChar(m_s[m_i])) {
                name += m_s[m_i++];
            } else {
                break;
            }
        }
        return !name.empty();
    }
    bool Quoted(std::string& value) {
        const char quote = m_s[m_i++];
        value.clear();
        while (!AtEnd() && m_s[m_i] != quote) {
            if (m_s[m_i] == '\\' && m_i + 1 < m_s.size()) ++m_i;
            value += m_s[m_i++];
        }
        if (!Eat(quote)) return Fail(Tr("引号没有结束"));
        return true;
    }

    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    bool ReadComplex(Complex& out) {
        Compound first;
        if (!ReadCompound(first)) return false;
        out.parts.push_back(std::move(first));
        for (;;) {
            const bool space = SkipSpace();
            char comb = ' ';
            if (Peek() == '>' || Peek() == '+' || Peek() == '~') {
                comb = m_s[m_i++];
                SkipSpace();
            } else if (!space || AtEnd() || Peek() == ',') {
                return true;
            }
            Compound next;
            if (!ReadCompound(next)) return false;
            out.combinators += comb;
            out.parts.push_back(std::move(next));
        }
    }

    // A type (or *) and its conditions.
    bool ReadCompound(Compound& out) {
        bool any = false;
        if (Eat('*')) {
            any = true;
        } else if (IsNameChar(Peek()) || Peek() == '\\') {
            Ident(out.tag);
            out.tag = Lower(out.tag);
            any = true;
        }
        for (;;) {
            const char c = Peek();
            if (c != '#' && c != '.' && c != '[' && c != ':') break;
            if (!ReadSimple(out.tag, out.conds)) return false;
            any = true;
        }
        if (!any) return Fail(AtEnd() ? Tr("缺少选择器") : Tr("无法识别"));
        return true;
    }

    // One condition (a pseudo-class may give two); `tag` is the compound's type.
    bool ReadSimple(const std::string& tag, std::vector<Simple>& conds) {
        Simple s;
        if (Eat('#')) {
            s.kind = Simple::kId;
            if (!Ident(s.name)) return Fail(Tr("# 后缺少 id"));
        } else if (Eat('.')) {
            s.kind = Simple::kClass;
            if (!Ident(s.name)) return Fail(Tr(". 后缺少类名"));
        } else if (Eat('[')) {
            if (!ReadAttribute(s)) return false;
        } else if (Eat(':')) {
            return ReadPseudo(tag, conds);
        } else {
            return Fail(Tr("无法识别"));
        }
        conds.push_back(std::move(s));
        return true;
    }

    bool ReadAttribute(Simple& s) {
        s.kind = Simple::kAttr;
        SkipSpace();
        if (!Ident(s.name)) return Fail(Tr("[ 后缺少属性名"));
        s.name = Lower(s.name);
        SkipSpace();
        if (Eat(']')) return true;
        if (Peek() == '=') {
            s.op = '=';
            ++m_i;
        } else if (m_i + 1 < m_s.size() && std::string("~|^$*").find(Peek()) != std::string::npos &&
                   m_s[m_i + 1] == '=') {
            s.op = Peek();
            m_i += 2;
        } else {
            return Fail(Tr("无法识别的属性比较"));
        }
        SkipSpace();
        if (Peek() == '"' || Peek() == '\'') {
            if (!Quoted(s.value)) return false;
        } else if (!Ident(s.value)) {
            return Fail(Tr("缺少属性值"));
        }
        SkipSpace();
        if (!Eat(']')) return Fail(Tr("缺少 ]"));
        return true;
    }

    // an+b, odd, even, or a number.
    bool Nth(long& a, long& b) {
        SkipSpace();
        std::size_t start = m_i;
        while (!AtEnd() && Peek() != ')') ++m_i;
        std::string t;
        for (std::size_t k = start; k < m_i; ++k)
            if (!IsSpace(m_s[k])) t += static_cast<char>(std::tolower(static_cast<unsigned char>(m_s[k])));
        if (t == "odd") {
            a = 2, b = 1;
            return true;
        }
        if (t == "even") {
            a = 2, b = 0;
            return true;
        }
        auto number = [](const std::string& s, long& v) {
            if (s.empty() || s.size() > 9) return false;
            std::size_t k = (s[0] == '+' || s[0] == '-') ? 1 : 0;
            if (k == s.size()) return false;
            for (std::size_t j = k; j < s.size(); ++j)
                if (!std::isdigit(static_cast<unsigned char>(s[j]))) return false;
            v = std::stol(s);
            return true;
        };
        const std::size_t n = t.find('n');
        if (n == std::string::npos) {
            a = 0;
            if (number(t, b)) return true;
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        const std::string as = t.substr(0, n), bs = t.substr(n + 1);
        if (as.empty() || as == "+")
            a = 1;
        else if (as == "-")
            a = -1;
        else if (!number(as, a)) {
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        if (bs.empty())
            b = 0;
        else if (!number(bs, b) || (bs[0] != '+' && bs[0] != '-')) {
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        return true;
    }

    static Simple Position(long a, long b, bool fromEnd, bool ofType) {
        Simple s;
        s.kind = Simple::kNth;
        s.a = a;
        s.b = b;
        s.bFromEnd = fromEnd;
        s.bOfType = ofType;
        return s;
    }

    bool ReadPseudo(const std::string& tag, std::vector<Simple>& conds) {
        std::string name;
        if (!Ident(name)) return Fail(Tr(": 后缺少伪类名"));
        name = Lower(name);
        const bool ofType = name.size() > 8 && name.compare(name.size() - 8, 8, "-of-type") == 0;
        if (ofType && tag == "*") return Fail(Fill(Tr(":{0} 需要元素名"), {name}));
        if (name == "first-child" || name == "first-of-type") {
            conds.push_back(Position(0, 1, false, ofType));
        } else if (name == "last-child" || name == "last-of-type") {
            conds.push_back(Position(0, 1, true, ofType));
        } else if (name == "only-child" || name == "only-of-type") {
            conds.push_back(Position(0, 1, false, ofType));
            conds.push_back(Position(0, 1, true, ofType));
        } else if (name == "empty") {
            Simple s;
            s.kind = Simple::kEmpty;
            conds.push_back(s);
        } else if (name == "nth-child" || name == "nth-last-child" || name == "nth-of-type" ||
                   name == "nth-last-of-type") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            long a = 0, b = 0;
            if (!Nth(a, b)) return false;
            if (!Eat(')')) return Fail(Tr("缺少 )"));
            conds.push_back(Position(a, b, name.find("-last-") != std::string::npos, ofType));
        } else if (name == "not") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            SkipSpace();
            Simple s;
            s.kind = Simple::kNot;
            if (Eat('*')) {
                s.name = "*";
            } else if (IsNameChar(Peek()) || Peek() == '\\') {
                Ident(s.name);
                s.name = Lower(s.name);
            } else if (!ReadSimple(tag, s.inner)) {
                return false;
            }
            SkipSpace();
            if (!Eat(')')) return Fail(Tr(":not() 只接受一个简单选择器"));
            conds.push_back(std::move(s));
        } else {
            return Fail(Fill(Tr("不支持的伪类 :{0}"), {name}));
        }
        return true;
    }

    const std::string& m_s;
    std::size_t m_i = 0;
    std::string m_error;
};

// ---- Matching on the tree ----

const char* Name(const xmlNode* e) { return reinterpret_cast<const char*>(e->name); }

// An attribute's value (its text), or null when the element has no such attribute.
const char* Attribute(const xmlNode* e, const std::string& name, std::string& storage) {
    for (const xmlAttr* a = e->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name.c_str()) != 0) continue;
        const xmlNode* c = a->children;
        if (!c) return "";
        if (!c->next && c->type == XML_TEXT_NODE && c->content)
            return reinterpret_cast<const char*>(c->content);
        xmlChar* joined = xmlNodeListGetString(a->doc, c, 1);
        storage = joined ? reinterpret_cast<const char*>(joined) : "";
        xmlFree(joined);
        return storage.c_str();
    }
    return nullptr;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// True when `value`, read as blank-separated words, holds `word`.
bool HasWord(std::string_view value, std::string_view word) {
    std::size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && IsXmlSpace(value[i])) ++i;
        std::size_t end = i;
        while (end < value.size() && !IsXmlSpace(value[end])) ++end;
        if (end > i && value.substr(i, end - i) == word) return true;
        i = end;
    }
    return false;
}

bool AttributeMatches(const Simple& s, const char* value) {
    if (!value) return false;
    const std::string_view v(value), want(s.value);
    switch (s.op) {
        case 0:
            return true;
        case '=':
            return v == want;
        case '~':
            return !want.empty() && want.find_first_of(" \t\n\r\f") == std::string_view::npos &&
                   HasWord(v, want);
        case '|':
            return v == want || (v.size() > want.size() && v.compare(0, want.size(), want) == 0 &&
                                 v[want.size()] == '-');
        case '^':
            return !want.empty() && v.compare(0, want.size(), want) == 0;
        case '$':
            return !want.empty() && v.size() >= want.size() &&
                   v.compare(v.size() - want.size(), want.size(), want) == 0;
        case '*':
            return !want.empty() && v.find(want) != std::string_view::npos;
    }
    return false;
}

// Where an element stands among its parent's elements (1-based, and how many there are).
struct Place {
    long index = 0, count = 0;
    long typeIndex = 0, typeCount = 0;
};

bool Fits(long position, long a, long b) {
    const long d = position - b;
    if (a == 0) return d == 0;
    return d % a == 0 && d / a >= 0;
}

bool Holds(const Simple& s, const xmlNode* e, const Place& place) {
    std::string storage;
    switch (s.kind) {
        case Simple::kId: {
            const char* id = Attribute(e, "id", storage);
            return id && s.name == id;
        }
        case Simple::kClass: {
            const char* cls = Attribute(e, "class", storage);
            return cls && HasWord(cls, s.name);
        }
        case Simple::kAttr:
            return AttributeMatches(s, Attribute(e, s.name, storage));
        case Simple::kNth: {
            const long index = s.bOfType ? place.typeIndex : place.index;
            const long count = s.bOfType ? place.typeCount : place.count;
            return Fits(s.bFromEnd ? count - index + 1 : index, s.a, s.b);
        }
        case Simple::kEmpty:
            for (const xmlNode* c = e->children; c; c = c->next) {
                if (c->type == XML_ELEMENT_NODE) return false;
                if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content &&
                    *c->content)
                    return false;
            }
            return true;
        case Simple::kNot:
            if (s.name == "*") return false;
            if (!s.name.empty()) return s.name != Name(e);
            for (const Simple& inner : s.inner)  // :not(:only-child) denies both of its halves
                if (!Holds(inner, e, place)) return true;
            return false;
    }
    return false;
}

bool CompoundHolds(const Compound& c, const xmlNode* e, const Place& place) {
    if (c.tag != "*" && c.tag != Name(e)) return false;
    for (const Simple& s : c.conds)
        if (!Holds(s, e, place)) return false;
    return true;
}

// The walk's state for the children of one element (or of the document).
struct Frame {
    const xmlNode* next = nullptr;  // the child to visit next
    std::uint64_t ancestors = 0;    // compounds matched by the parent or any ancestor
    std::uint64_t parent = 0;       // compounds matched by the parent itself
    std::uint64_t previous = 0;     // by the previous element among the children
    std::uint64_t before = 0;       // by any earlier element among them
    long index = 0, count = 0;
    std::unique_ptr<std::unordered_map<std::string_view, std::pair<long, long>>> types;  // seen, all
};

void Count(Frame& f, const xmlNode* first, const Region::Css& css) {
    if (!css.bFromEnd && !css.bOfType) return;
    if (css.bOfType) f.types = std::make_unique<std::unordered_map<std::string_view, std::pair<long, long>>>();
    for (const xmlNode* c = first; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        ++f.count;
        if (f.types) ++(*f.types)[Name(c)].second;
    }
}

// Every element that some selector of the list matches, in document order: one walk, each
// element's matches decided from its parent's, its ancestors' and its earlier siblings'.
bool MatchCss(const Region::Css& css, xmlDoc* doc, Budget& budget, std::vector<xmlNode*>& out) {
    std::vector<Frame> stack;
    stack.emplace_back();
    stack.back().next = doc->children;
    Count(stack.back(), doc->children, css);
    while (!stack.empty()) {
        Frame& f = stack.back();
        const xmlNode* e = f.next;
        if (!e) {
            stack.pop_back();
            continue;
        }
        f.next = e->next;
        if (e->type != XML_ELEMENT_NODE) continue;
        if (!budget.Spend()) return false;
        Place place;
        place.index = ++f.index;
        place.count = f.count;
        if (f.types) {
            auto& [seen, all] = (*f.types)[Name(e)];
            place.typeIndex = ++seen;
            place.typeCount = all;
        }
        std::uint64_t matched = 0;
        bool subject = false;
        int bit = 0;
        for (const Complex& c : css.list) {
            for (std::size_t k = 0; k < c.parts.size(); ++k, ++bit) {
                if (k > 0) {
                    const std::uint64_t prior = std::uint64_t(1) << (bit - 1);
                    const char comb = c.combinators[k - 1];
                    const std::uint64_t by = comb == ' '   ? f.ancestors
                                             : comb == '>' ? f.parent
                                             : comb == '+' ? f.previous
                                                           : f.before;
                    if (!(by & prior)) continue;
                }
                if (!CompoundHolds(c.parts[k], e, place)) continue;
                matched |= std::uint64_t(1) << bit;
                subject = subject || k + 1 == c.parts.size();
            }
        }
        if (subject) out.push_back(const_cast<xmlNode*>(e));
        f.previous = matched;
        f.before |= matched;
        if (e->children) {
            Frame child;
            child.next = e->children;
            child.ancestors = f.ancestors | matched;
            child.parent = matched;
            Count(child, e->children, css);
            stack.push_back(std::move(child));
        }
    }
    return true;
}

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
        auto css = std::make_unique<Css>();
        if (!CssReader(s).Read(*css, error)) return false;
        m_css = std::move(css);
        m_xpath.clear();
        return true;
    }
    PrepareLibxml();  // the answer is whether it compiled, not libxml2's message
    std::unique_ptr<xmlXPathCompExpr, void (*)(xmlXPathCompExprPtr)> comp(
        xmlXPathCompile(reinterpret_cast<const xmlChar*>(s.c_str())), xmlXPathFreeCompExpr);
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
    std::unique_ptr<xmlXPathContext, void (*)(xmlXPathContextPtr)> context(
        xmlXPathNewContext(doc), xmlXPathFreeContext);
    if (!context) return false;
    context->node = reinterpret_cast<xmlNodePtr>(doc);
    context->opLimit = kXPathOps;
    std::unique_ptr<xmlXPathObject, void (*)(xmlXPathObjectPtr)> result(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(m_xpath.c_str()), context.get()),
        xmlXPathFreeObject);
    if (!result) {
        if (context->opCount >= kXPathOps) budget.Fail(PageReader::Outcome::TooComplex);
        return false;
    }
    if (result->type == XPATH_NODESET) {
        if (const xmlNodeSet* set = result->nodesetval)
            found.nodes.assign(set->nodeTab, set->nodeTab + set->nodeNr);
        return budget.Spend(found.nodes.size());
    }
    found.bValue = true;
    if (xmlChar* value = xmlXPathCastToString(result.get())) {
        found.value = reinterpret_cast<const char*>(value);
        xmlFree(value);
    }
    return true;
}

}  // namespace content
}  // namespace sentrel
