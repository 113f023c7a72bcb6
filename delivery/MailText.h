#pragma once
// The texts of a mail message: its encodings, its date, its id.
#include <cstddef>
#include <ctime>
#include <string>

namespace sentrel {

/// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of `n` bytes.
std::string EncodeBase64(const void* data, std::size_t n);
inline std::string EncodeBase64(const std::string& s) {
    return EncodeBase64(s.data(), s.size());
}

/// "Sun, 06 Dec 2026 09:05:03 +0000": English names, UTC with its zone; never the locale
/// (a mail's own format, not the program's time text).
std::string FormatMailDate(std::time_t when);
/// Header text as it may travel: ASCII as it is, anything else as RFC 2047 UTF-8 words.
std::string EncodeHeaderText(const std::string& text);

/// True when the body cannot travel as 8bit text: a line beyond SMTP's 998 bytes, a NUL,
/// or a CR or LF that is not part of a CR LF pair.
bool NeedsBase64(const std::string& body);
/// A unique id for the Message-ID header, at the sender's domain.
std::string NewMessageId(const std::string& from);

}  // namespace sentrel
