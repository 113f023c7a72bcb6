#include "TextHash.h"

#include <cstring>

namespace sentrel {
namespace content {

namespace {

constexpr std::uint64_t P1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t P3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t P4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t P5 = 0x27D4EB2F165667C5ULL;

std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian reads, whatever the machine.
std::uint64_t Read64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint32_t Read32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
    acc += input * P2;
    acc = Rotl(acc, 31);
    return acc * P1;
}

std::uint64_t Merge(std::uint64_t acc, std::uint64_t val) {
    acc ^= Round(0, val);
    return acc * P1 + P4;
}

}  // namespace

std::uint64_t TextHash(std::string_view bytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    std::uint64_t h;
    if (bytes.size() >= 32) {
        std::uint64_t v1 = P1 + P2, v2 = P2, v3 = 0, v4 = 0 - P1;
        const unsigned char* const limit = end - 32;
        do {
            v1 = Round(v1, Read64(p));
            v2 = Round(v2, Read64(p + 8));
            v3 = Round(v3, Read64(p + 16));
            v4 = Round(v4, Read64(p + 24));
            p += 32;
        } while (p <= limit);
        h = Rotl(v1, 1) + Rotl(v2, 7) + Rotl(v3, 12) + Rotl(v4, 18);
        h = Merge(Merge(Merge(Merge(h, v1), v2), v3), v4);
    } else {
        h = P5;
    }
    h += static_cast<std::uint64_t>(bytes.size());
    for (; p + 8 <= end; p += 8) h = Rotl(h ^ Round(0, Read64(p)), 27) * P1 + P4;
    if (p + 4 <= end) {
        h = Rotl(h ^ (static_cast<std::uint64_t>(Read32(p)) * P1), 23) * P2 + P3;
        p += 4;
    }
    for (; p < end; ++p) h = Rotl(h ^ (*p * P5), 11) * P1;
    h ^= h >> 33;
    h *= P2;
    h ^= h >> 29;
    h *= P3;
    h ^= h >> 32;
    return h;
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
