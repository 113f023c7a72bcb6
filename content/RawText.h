#pragma once
// Inside this module: a page handed to libxml2's push parser without the contents of its
// script and style elements. They never show, and the parser would read them character by
// character; their contents end, as browsers end them, at the first "</script" or "</style".
#include <libxml/HTMLparser.h>

#include <string_view>

namespace sentrel {
namespace content {

/// Feeds `page` to `ctxt` in pieces around script and style contents, then ends the parse.
void FeedWithoutRawText(htmlParserCtxtPtr ctxt, std::string_view page);

}  // namespace content
}  // namespace sentrel
