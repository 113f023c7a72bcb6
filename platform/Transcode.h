#pragma once
// Legacy charsets to UTF-8, through the system's converters: iconv on POSIX, the code
// pages on Windows. Which label means which charset is decided above this, once.
#include <string>
#include <string_view>

namespace sentrel {

/// A charset as both systems name it.
struct Encoding {
    const char* name;   ///< the iconv name ("GB18030", "CP1251")
    unsigned codePage;  ///< the Windows code page (54936, 1251)
};

/// Appends `bytes`, read in `encoding`, to `out` as UTF-8. A byte sequence that is not
/// valid in the charset becomes U+FFFD and the reading goes on. False when the system
/// has no converter for the charset (nothing is appended then).
bool AppendAsUtf8(const Encoding& encoding, std::string_view bytes, std::string& out);

}  // namespace sentrel
