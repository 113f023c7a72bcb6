#include "PageTextCounter.h"

#include <climits>

namespace sentrel {

void PageTextCounter::Feed(const char* data, std::size_t n, std::string* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + n;
    while (p < end) {
        // Fast path: a run of ordinary bytes inside the current piece.
        if (!m_bNulInPiece && !out) {
            std::size_t room = kPieceMax - m_nPiece;
            const unsigned char* q = p;
            const unsigned char* stop = (static_cast<std::size_t>(end - p) < room) ? end : p + room;
            while (q < stop && *q != '\r' && *q != '\n' && *q != 0) ++q;
            std::size_t run = static_cast<std::size_t>(q - p);
            m_nCount += static_cast<std::int64_t>(run);
            m_nPiece += run;
            p = q;
            if (m_nPiece == kPieceMax) {
                m_nPiece = 0;
                continue;
            }
            if (p == end) break;
        }
        unsigned char b = *p++;
        if (b == '\r') continue;  // never stored
        ++m_nPiece;
        if (!m_bNulInPiece) {
            if (b == 0) {
                m_bNulInPiece = true;
            } else if (b == '\n') {
                m_nCount += 2;
                if (out) out->append("\r\n");
            } else {
                ++m_nCount;
                if (out) out->push_back(static_cast<char>(b));
            }
        }
        if (b == '\n' || m_nPiece == kPieceMax) {
            m_nPiece = 0;
            m_bNulInPiece = false;
        }
    }
}

int PageTextCounter::Size() const {
    return m_nCount > INT_MAX ? INT_MAX : static_cast<int>(m_nCount);
}

}  // namespace sentrel
