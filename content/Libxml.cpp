#include "content/Libxml.h"

namespace sentrel {
namespace content {

namespace {

// libxml2's table, loaded (where the platform allows) and initialised once per process.
const XmlApi* Loaded() {
#ifdef SENTREL_LAZY_TEXT
    static const XmlApi* api = LoadOnce<XmlApi>(
        "libxml2.so.2", [](LazyLibrary& lib, XmlApi& api) { SENTREL_XML_CALLS(SENTREL_API_BIND) });
#else
    static const XmlApi linked = [] {
        XmlApi api;
        SENTREL_XML_CALLS(SENTREL_API_LINK)
        return api;
    }();
    static const XmlApi* api = &linked;
#endif
    static const bool initialised = api && (api->xmlInitParser(), true);
    return initialised ? api : nullptr;
}

void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, xmlErrorPtr) {}

}  // namespace

const XmlApi* PrepareLibxml() {
    const XmlApi* xml = Loaded();
    if (!xml) return nullptr;
    xml->xmlSetGenericErrorFunc(nullptr, Quiet);
    xml->xmlSetStructuredErrorFunc(nullptr, QuietStructured);
    return xml;
}

const XmlApi& Xml() {
    return *Loaded();
}

}  // namespace content
}  // namespace sentrel
