// A body in any bytes with any Content-Type: the prescan and the decoders give valid
// UTF-8, and never fail.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/Charset.h"
#include "content/PageText.h"

using namespace sentrel::content;

namespace {
bool ValidUtf8(const std::string& s) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* e = p + s.size();
    while (p < e) {
        const unsigned char c = *p++;
        const int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || e - p < more) return false;
        for (int i = 0; i < more; ++i)
            if ((*p++ >> 6) != 2) return false;
    }
    return true;
}
const char* kTypes[] = {"",
                        "text/html",
                        "text/html; charset=gbk",
                        "text/html; charset=\"big5\"",
                        "text/plain; charset=shift_jis",
                        "text/html; charset=euc-kr",
                        "text/html; charset=windows-1251",
                        "application/json; charset=utf-16"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string charset = SniffCharset(type, body);
    if (charset.empty()) std::abort();
    const std::string utf8 = DecodeBody(type, body);
    if (!ValidUtf8(utf8)) std::abort();
    PageReader reader;
    std::string text;
    reader.Read(type, body, text);
    if (!ValidUtf8(text)) std::abort();
    return 0;
}
