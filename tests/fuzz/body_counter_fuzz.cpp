// The page counter's fast path against a byte-at-a-time model of its rules, for any body
// cut into any pieces.
#include <cstdint>
#include <string>

#include "probe/PageTextCounter.h"

using sentrel::PageTextCounter;

namespace {

struct Model {
    std::size_t piece = 0;
    bool nul = false;
    std::int64_t count = 0;
    std::string text;

    void Feed(unsigned char b) {
        if (b == '\r') return;  // never stored
        ++piece;
        if (!nul) {
            if (b == 0) {
                nul = true;
            } else if (b == '\n') {
                count += 2;
                text += "\r\n";
            } else {
                ++count;
                text += static_cast<char>(b);
            }
        }
        if (b == '\n' || piece == PageTextCounter::kPieceMax) {
            piece = 0;
            nul = false;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose how the body is cut; the rest is the body.
    const std::size_t step = 1 + (data[0] | data[1] << 8) % 5000;
    const char* body = reinterpret_cast<const char*>(data + 2);
    const std::size_t n = size - 2;

    Model model;
    for (std::size_t i = 0; i < n; ++i) model.Feed(static_cast<unsigned char>(body[i]));

    PageTextCounter fast, withText;
    std::string text;
    for (std::size_t at = 0; at < n; at += step) {
        const std::size_t take = n - at < step ? n - at : step;
        fast.Feed(body + at, take);
        withText.Feed(body + at, take, &text);
    }
    if (fast.Count() != model.count) __builtin_trap();
    if (withText.Count() != model.count || text != model.text) __builtin_trap();
    return 0;
}
