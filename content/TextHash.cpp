#include "content/TextHash.h"

// The library's XXH64, compiled into this file alone.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace sentrel {
namespace content {

std::uint64_t TextHash(std::string_view bytes) {
    return XXH64(bytes.data(), bytes.size(), 0);
}

std::string HashToHex(std::uint64_t hash) {
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) out[static_cast<std::size_t>(i)] = digits[hash & 15];
    return out;
}

bool HashFromHex(const std::string& text, std::uint64_t& hash) {
    if (text.size() != 16) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<std::uint64_t>(d);
    }
    hash = v;
    return true;
}

}  // namespace content
}  // namespace sentrel
