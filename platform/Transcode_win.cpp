#include <windows.h>

#include "Transcode.h"

namespace sentrel {

bool AppendAsUtf8(const Encoding& encoding, std::string_view bytes, std::string& out) {
    if (!IsValidCodePage(encoding.codePage)) return false;
    if (bytes.empty()) return true;
    // Bodies are bounded well below 2 GB: one call reads them whole. Without
    // MB_ERR_INVALID_CHARS an invalid sequence becomes U+FFFD and the rest is read on.
    const int n = static_cast<int>(bytes.size());
    const int w = MultiByteToWideChar(encoding.codePage, 0, bytes.data(), n, nullptr, 0);
    if (w <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(w), L'\0');
    MultiByteToWideChar(encoding.codePage, 0, bytes.data(), n, &wide[0], w);
    const int u = WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, nullptr, 0, nullptr, nullptr);
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(u));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, &out[old], u, nullptr, nullptr);
    return true;
}

}  // namespace sentrel
