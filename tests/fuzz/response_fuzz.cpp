// The probe's reading of a response: header lines as libcurl hands them over, then the
// body in pieces. The announced length bounds what is counted, and nothing else does.
#include <cstdint>
#include <string>

#include "probe/PageTextCounter.h"
#include "probe/ProbeTransfer.h"

using namespace sentrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned flags = data[0];
    const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);

    PageTextCounter counter;
    std::string text;
    probe::Transfer t;
    t.bWantBody = flags & 1;
    t.counter = &counter;
    t.text = (flags & 2) ? &text : nullptr;

    // Header lines up to the end of a final (non-1xx) header block.
    std::size_t at = 0;
    bool stopped = false;
    while (at < in.size() && !t.bHeadersDone) {
        std::size_t nl = in.find('\n', at);
        std::size_t end = nl == std::string::npos ? in.size() : nl + 1;
        std::string line = in.substr(at, end - at);
        at = end;
        std::size_t r = probe::Transfer::OnHeader(line.data(), 1, line.size(), &t);
        if (r != line.size() && r != 0) __builtin_trap();
        if (r == 0) {
            if (!t.bStoppedByUs) __builtin_trap();
            stopped = true;
            break;
        }
    }
    const long long length = t.PlainLength();
    if (length < -1 || length > 999999999999999999LL) __builtin_trap();
    if (stopped || !t.bHeadersDone) return 0;

    // The body, in pieces of a size the flags choose.
    const std::string body = in.substr(at);
    const std::size_t step = 1 + (flags >> 2) * 97;
    const bool limited = t.bLimited;
    const long long announced = t.nBodyLeft;
    std::size_t taken = 0;
    for (std::size_t b = 0; b < body.size(); b += step) {
        std::size_t n = body.size() - b < step ? body.size() - b : step;
        std::string piece = body.substr(b, n);
        std::size_t r = probe::Transfer::OnBody(piece.data(), 1, n, &t);
        if (t.nBodyLeft < 0) __builtin_trap();
        if (r == 0) break;
        if (r != n) __builtin_trap();
        taken = b + n;
    }
    (void)taken;
    if (t.bDraining) {
        if (counter.Count() != 0) __builtin_trap();  // a drained body is never counted
        return 0;
    }
    PageTextCounter expected;
    std::size_t counted = body.size();
    if (!t.bWantBody) counted = 0;
    if (limited && static_cast<long long>(counted) > announced)
        counted = static_cast<std::size_t>(announced);
    expected.Feed(body.data(), counted);
    if (counter.Count() != expected.Count()) __builtin_trap();
    if (t.text && static_cast<std::int64_t>(text.size()) != counter.Count()) __builtin_trap();
    return 0;
}
