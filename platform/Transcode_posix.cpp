#include <iconv.h>

#include <cerrno>

#include "platform/Transcode.h"

namespace sentrel {

bool AppendAsUtf8(const Encoding& encoding, std::string_view bytes, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", encoding.name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[16 * 1024];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, sizeof buffer - oLeft);
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        out += "\xEF\xBF\xBD";  // U+FFFD for the byte that cannot start a character
        if (errno == EINVAL) break;  // a sequence cut off at the end
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state after the bad byte
    }
    // Stateful charsets may still hold a shift sequence's output.
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(buffer, sizeof buffer - oLeft);
    iconv_close(cd);
    return true;
}

}  // namespace sentrel
