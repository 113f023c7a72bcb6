#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "content/CssSelector.h"
#include "content/Libxml.h"

namespace sentrel {
namespace content {

namespace {

const char* Name(const xmlNode* e) { return reinterpret_cast<const char*>(e->name); }

// An attribute's value (its text), or null when the element has no such attribute.
const char* Attribute(const xmlNode* e, const std::string& name, std::string& storage) {
    for (const xmlAttr* a = e->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name.c_str()) != 0) continue;
        const xmlNode* c = a->children;
        if (!c) return "";
        if (!c->next && c->type == XML_TEXT_NODE && c->content)
            return reinterpret_cast<const char*>(c->content);
        const XmlApi& xml = Xml();
        xmlChar* joined = xml.xmlNodeListGetString(a->doc, c, 1);
        storage = joined ? reinterpret_cast<const char*>(joined) : "";
        xml.Free(joined);
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

void Count(Frame& f, const xmlNode* first, const CssList& css) {
    if (!css.bFromEnd && !css.bOfType) return;
    if (css.bOfType) f.types = std::make_unique<std::unordered_map<std::string_view, std::pair<long, long>>>();
    for (const xmlNode* c = first; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE) continue;
        ++f.count;
        if (f.types) ++(*f.types)[Name(c)].second;
    }
}

}  // namespace

// Every element that some selector of the list matches, in document order: one walk, each
// element's matches decided from its parent's, its ancestors' and its earlier siblings'.
bool MatchCss(const CssList& css, xmlDoc* doc, Budget& budget, std::vector<xmlNode*>& out) {
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

}  // namespace content
}  // namespace sentrel
