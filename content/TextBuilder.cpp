#include "content/TextBuilder.h"

#include <cstring>

namespace sentrel {
namespace content {

namespace {

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

}  // namespace

unsigned char TextBuilder::RoleOfName(const char* name) {
    return RoleOf(name);
}

bool TextBuilder::HiddenBy(const xmlChar** attrs) {
    return Hidden(attrs);
}

}  // namespace content
}  // namespace sentrel
