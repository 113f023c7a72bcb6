#include <gtest/gtest.h>

#include <random>

#include "delivery/MailText.h"

using sentrel::EncodeBase64;

namespace {
std::string Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        v = (v << 6) | static_cast<unsigned>(alphabet.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((v >> bits) & 0xFF));
        }
    }
    return out;
}
}  // namespace

TEST(Base64, Rfc4648Vectors) {
    EXPECT_EQ("", EncodeBase64(std::string()));
    EXPECT_EQ("Zg==", EncodeBase64(std::string("f")));
    EXPECT_EQ("Zm8=", EncodeBase64(std::string("fo")));
    EXPECT_EQ("Zm9v", EncodeBase64(std::string("foo")));
    EXPECT_EQ("Zm9vYg==", EncodeBase64(std::string("foob")));
    EXPECT_EQ("Zm9vYmE=", EncodeBase64(std::string("fooba")));
    EXPECT_EQ("Zm9vYmFy", EncodeBase64(std::string("foobar")));
}

TEST(Base64, RandomBytesRoundTrip) {
    std::mt19937 rng(42);
    for (int round = 0; round < 500; ++round) {
        std::string data(rng() % 300, '\0');
        for (char& c : data) c = static_cast<char>(rng() & 0xFF);
        std::string text = EncodeBase64(data);
        ASSERT_EQ((data.size() + 2) / 3 * 4, text.size());
        ASSERT_EQ(std::string::npos, text.find_first_of("\r\n"));
        ASSERT_EQ(data, Decode(text)) << "round " << round;
    }
}
