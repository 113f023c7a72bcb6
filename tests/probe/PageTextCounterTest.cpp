#include <gtest/gtest.h>

#include <random>

#include "probe/PageTextCounter.h"

using sentrel::PageTextCounter;

namespace {

// The line reader's rules written the slow, obvious way, piece by piece.
std::int64_t Reference(const std::string& body) {
    std::int64_t total = 0;
    std::size_t i = 0;
    while (i < body.size()) {
        std::string piece;
        while (i < body.size() && piece.size() < PageTextCounter::kPieceMax) {
            char c = body[i++];
            if (c == '\r') continue;
            piece.push_back(c);
            if (c == '\n') break;
        }
        for (char c : piece) {
            if (c == '\0') break;
            total += (c == '\n') ? 2 : 1;
        }
    }
    return total;
}

}  // namespace

TEST(PageTextCounter, MatchesThePieceByPieceReaderInAnySplit) {
    std::mt19937 rng(1234);
    const char alphabet[] = {'a', 'b', '\n', '\r', '\0', 'x'};
    for (int round = 0; round < 200; ++round) {
        std::size_t len = rng() % 12000;
        std::string body;
        for (std::size_t i = 0; i < len; ++i)
            body.push_back(rng() % 50 == 0 ? alphabet[rng() % 6] : 'q');
        PageTextCounter counter;
        std::string converted;
        // Feed in random chunk sizes, as the network delivers it.
        for (std::size_t off = 0; off < body.size();) {
            std::size_t n = std::min<std::size_t>(1 + rng() % 5000, body.size() - off);
            counter.Feed(body.data() + off, n, round % 2 ? &converted : nullptr);
            off += n;
        }
        ASSERT_EQ(Reference(body), counter.Count()) << "round " << round;
        if (round % 2) {
            ASSERT_EQ(static_cast<std::size_t>(counter.Count()), converted.size());
        }
    }
}

TEST(PageTextCounter, LongLinesSplitIntoPiecesOf4094) {
    std::string body(10000, 'z');
    body[4094] = '\0';  // first byte of the second piece
    PageTextCounter counter;
    counter.Feed(body.data(), body.size());
    EXPECT_EQ(4094 + 1812, counter.Count());
}
