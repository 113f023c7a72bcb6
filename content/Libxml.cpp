#include "Libxml.h"

#include <mutex>

#ifdef SENTREL_LAZY_TEXT
#include "LazyLibrary.h"
#endif

namespace sentrel {
namespace content {

namespace {

XmlApi g_xml{};

bool Load() {
#ifdef SENTREL_LAZY_TEXT
    LazyLibrary lib("libxml2.so.2");
#define SENTREL_XML_BIND(f) lib.Bind(g_xml.f, #f);
    SENTREL_XML_CALLS(SENTREL_XML_BIND)
    SENTREL_XML_BIND(xmlFree)
    if (!lib.Ok()) return false;
#else
#define SENTREL_XML_BIND(f) g_xml.f = &::f;
    SENTREL_XML_CALLS(SENTREL_XML_BIND)
    SENTREL_XML_BIND(xmlFree)
#endif
#undef SENTREL_XML_BIND
    g_xml.xmlInitParser();
    return true;
}

void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, xmlErrorPtr) {}

}  // namespace

const XmlApi* PrepareLibxml() {
    static const bool loaded = Load();
    if (!loaded) return nullptr;
    g_xml.xmlSetGenericErrorFunc(nullptr, Quiet);
    g_xml.xmlSetStructuredErrorFunc(nullptr, QuietStructured);
    return &g_xml;
}

const XmlApi& Xml() {
    return g_xml;
}

}  // namespace content
}  // namespace sentrel
