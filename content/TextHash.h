#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sentrel {
namespace content {

/// XXH64 of the bytes with seed 0 (libxxhash): the fingerprint of a page's text, and what
/// shards are assigned by; the same number on every system and version.
std::uint64_t TextHash(std::string_view bytes);

/// The hash as 16 lower-case hex digits, and back (false for any other text).
std::string HashToHex(std::uint64_t hash);
bool HashFromHex(const std::string& text, std::uint64_t& hash);

}  // namespace content
}  // namespace sentrel
