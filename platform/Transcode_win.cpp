#include <windows.h>

#include <algorithm>

#include "platform/Transcode.h"

namespace sentrel {

namespace {

// The bytes read in one code page; false when the system has no such code page.
bool Wide(unsigned codePage, std::string_view bytes, std::wstring& wide) {
    // Bodies are bounded well below 2 GB: one call reads them whole. Without
    // MB_ERR_INVALID_CHARS an invalid sequence becomes U+FFFD and the rest is read on.
    const int n = static_cast<int>(bytes.size());
    const int w = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
    if (w <= 0) return false;
    wide.assign(static_cast<std::size_t>(w), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), n, &wide[0], w);
    return true;
}

}  // namespace

bool AppendAsUtf8(const Encoding& encoding, std::string_view bytes, std::string& out) {
    // Systems without GB18030's table (wine) still read its GBK part through 936.
    const bool gb18030 = encoding.codePage == 54936;
    const unsigned codePage = gb18030 && !IsValidCodePage(54936) ? 936 : encoding.codePage;
    if (!IsValidCodePage(codePage)) return false;
    if (bytes.empty()) return true;
    std::wstring wide;
    if (!Wide(codePage, bytes, wide)) return false;
    if (gb18030 && codePage != 936 && wide.find(L'\xFFFD') != std::wstring::npos) {
        std::wstring gbk;
        if (Wide(936, bytes, gbk) && std::count(gbk.begin(), gbk.end(), L'\xFFFD') +
                                             std::count(gbk.begin(), gbk.end(), L'?') <
                                         std::count(wide.begin(), wide.end(), L'\xFFFD'))
            wide.swap(gbk);
    }
    // Code page 936 reads the byte 0xFF, which no GB18030 text holds, as a private-use
    // character: it is an invalid byte, as elsewhere.
    if (gb18030) std::replace(wide.begin(), wide.end(), L'\xF8F5', L'\xFFFD');
    const int w = static_cast<int>(wide.size());
    const int u = WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, nullptr, 0, nullptr, nullptr);
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(u));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, &out[old], u, nullptr, nullptr);
    return true;
}

}  // namespace sentrel
