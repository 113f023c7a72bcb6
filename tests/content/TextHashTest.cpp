// The fingerprint of a text: XXH64, the same number as every stored hash and shard was
// given, over short inputs and the library's main loop of 32-byte stripes alike.
#include <gtest/gtest.h>

#include "content/TextHash.h"

using namespace sentrel::content;

TEST(TextHash, Xxh64OfKnownInputsAndItsHexForm) {
    const std::pair<std::size_t, std::uint64_t> vectors[] = {
        {0, 0xEF46DB3751D8E999ULL},  {1, 0x1F25C8D0BC1F4BB6ULL},   {31, 0xA2AA5F33CC4A6119ULL},
        {32, 0x23C3C17EF790FD97ULL}, {33, 0x50A7CFC7BA588784ULL},  {100, 0xA61F8D4C170FE531ULL},
        {10000, 0xB195585F9792DBCAULL},
    };
    for (const auto& [length, hash] : vectors) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i) bytes += static_cast<char>((i * 7 + 3) & 0xff);
        EXPECT_EQ(hash, TextHash(bytes)) << length << " bytes";
    }
    EXPECT_EQ(0xD24EC4F1A98C6E5BULL, TextHash("a"));
    EXPECT_EQ(0x44BC2CF5AD770999ULL, TextHash("abc"));
    std::uint64_t back = 0;
    EXPECT_TRUE(HashFromHex(HashToHex(0x0123456789abcdefULL), back));
    EXPECT_EQ(0x0123456789abcdefULL, back);
    EXPECT_EQ("0123456789abcdef", HashToHex(0x0123456789abcdefULL));
    for (const char* bad : {"xyz", "0123456789ABCDEF", "0123456789abcde", ""})
        EXPECT_FALSE(HashFromHex(bad, back)) << bad;
}
