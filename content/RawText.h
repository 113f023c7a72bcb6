#pragma once
// Inside this module: a page handed to libxml2's push parser in bounded pieces. Script and
// style contents are left out: they never show, and the parser would read them character
// by character; they end, as browsers end them, at the first "</script" or "</style". What
// would only make the parser slow is left out too: attributes of one element beyond the
// first kMaxAttributes (libxml2 checks them for duplicates pairwise), and end tags of an
// element that never started (libxml2 looks each up through every open element).

#include <string_view>

#include "content/Budget.h"
#include "content/Libxml.h"

namespace sentrel {
namespace content {

constexpr std::size_t kMaxAttributes = 256;

/// Feeds `page` to `ctxt` and ends the parse; false, with the parse left unfinished, when
/// the budget ran out or a callback stopped the parser.
bool FeedWithoutRawText(const XmlApi& xml, htmlParserCtxtPtr ctxt, std::string_view page,
                        Budget& budget);

/// True when the parser stopped before the page's end (a callback stopped it, or libxml2
/// gave up).
bool ParserStopped(htmlParserCtxtPtr ctxt);

}  // namespace content
}  // namespace sentrel
