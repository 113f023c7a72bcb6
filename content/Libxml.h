#pragma once
// libxml2, one way for every reader and writer of XML in the program. Where the platform
// allows (SENTREL_LAZY_TEXT), it is loaded when the first page text, region or feed needs
// it rather than when the program starts: it brings ICU, whose loading alone costs a
// size-only run more than its probes do.
#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlwriter.h>
#include <libxml/xpath.h>

#include "platform/LazyLibrary.h"

namespace sentrel {
namespace content {

// The calls the program makes, and the library's deallocator (a variable of libxml2's).
// clang-format off
#define SENTREL_XML_CALLS(X)                                                                       \
    X(xmlInitParser) X(xmlSetGenericErrorFunc) X(xmlSetStructuredErrorFunc) X(xmlStopParser)       \
    X(htmlCreatePushParserCtxt) X(htmlCtxtUseOptions) X(htmlParseChunk) X(htmlFreeParserCtxt)       \
    X(xmlSAX2InitHtmlDefaultSAXHandler) X(xmlSAX2StartElement) X(xmlReadMemory) X(xmlFreeDoc)     \
    X(xmlDocGetRootElement) X(xmlGetProp) X(xmlNodeGetContent) X(xmlNodeListGetString)            \
    X(xmlXPathCompile) X(xmlXPathFreeCompExpr) X(xmlXPathNewContext) X(xmlXPathFreeContext)       \
    X(xmlXPathEvalExpression) X(xmlXPathFreeObject) X(xmlXPathCastToString) X(xmlBufferCreate)    \
    X(xmlBufferFree) X(xmlBufferContent) X(xmlBufferLength) X(xmlNewTextWriterMemory)             \
    X(xmlFreeTextWriter) X(xmlTextWriterSetIndent) X(xmlTextWriterSetIndentString)                \
    X(xmlTextWriterStartDocument) X(xmlTextWriterEndDocument) X(xmlTextWriterStartElement)        \
    X(xmlTextWriterEndElement) X(xmlTextWriterWriteAttribute) X(xmlTextWriterWriteElement)        \
    X(xmlFree)
// clang-format on

struct XmlApi {
    SENTREL_XML_CALLS(SENTREL_API_MEMBER)

    void Free(void* p) const { (*xmlFree)(p); }
};

/// libxml2, loaded and initialised once per process, with its complaints silenced on the
/// calling thread (broken pages are the rule, recovering from them the point); nullptr
/// when it cannot be loaded.
const XmlApi* PrepareLibxml();

/// libxml2 on a path that PrepareLibxml opened.
const XmlApi& Xml();

}  // namespace content
}  // namespace sentrel
