#pragma once
// Which charset a page is in, read as browsers read it, and its text as UTF-8.
#include <string>
#include <string_view>

namespace sentrel {
namespace content {

/// The charset a label names ("gbk", "Latin1", " UTF8 "), by the labels browsers know:
/// its canonical name ("GB18030", "windows-1252", "UTF-8"), or empty when unknown.
std::string CharsetOfLabel(std::string_view label);

/// The charset `charset=` names in a Content-Type value, or empty.
std::string CharsetOfContentType(std::string_view contentType);

/// The charset a `<meta charset>` or `<meta http-equiv="Content-Type">` names within the
/// first 1,024 bytes, or empty.
std::string PrescanMeta(std::string_view bytes);

/// The charset of a body: its byte-order mark, else the Content-Type header, else the
/// meta prescan, else UTF-8 (browsers let a BOM win over the header, as here).
std::string SniffCharset(std::string_view contentType, std::string_view bytes);

/// The body as UTF-8, in the charset SniffCharset finds. Never fails: an invalid byte, or a
/// charset this system cannot convert, gives U+FFFD for what cannot be read. Most pages are
/// valid UTF-8 already: they are read in place (without their BOM), else decoded into
/// `storage`, which the view then points into.
std::string_view Utf8Of(std::string_view contentType, std::string_view bytes,
                        std::string& storage);
/// The same, as a string of its own.
std::string DecodeBody(std::string_view contentType, std::string_view bytes);

/// The bytes as UTF-8 in the named canonical charset (see CharsetOfLabel).
std::string Decode(const std::string& charset, std::string_view bytes);

}  // namespace content
}  // namespace sentrel
