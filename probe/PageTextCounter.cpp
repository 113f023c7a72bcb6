#include "probe/PageTextCounter.h"

#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sentrel {

void PageTextCounter::Feed(const char* data, std::size_t n, std::string* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + n;
    while (p < end) {
        if (!m_bNulInPiece && !out) {
            p = CountPlain(p, end);
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

const unsigned char* PageTextCounter::CountPlain(const unsigned char* p, const unsigned char* end) {
    // Ordinary bytes and LFs are counted here, sixteen at a time where the processor
    // allows; the loop stops before a CR or a NUL, which need the byte-wise rules.
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    while (end - p >= 16 && kPieceMax - m_nPiece >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned stopMask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, nul))));
        unsigned lfMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        unsigned any = stopMask | lfMask;
        if (!any) {
            p += 16;
            m_nCount += 16;
            m_nPiece += 16;
            if (m_nPiece == kPieceMax) m_nPiece = 0;
            continue;
        }
        unsigned first = static_cast<unsigned>(__builtin_ctz(any));
        if (stopMask & (1u << first)) {
            m_nCount += first;
            m_nPiece += first;
            return p + first;
        }
        m_nCount += first + 2;  // the LF stands for CR LF and ends the piece
        m_nPiece = 0;
        p += first + 1;
    }
#endif
    while (p < end && *p != '\r' && *p != 0) {
        ++m_nCount;
        if (*p == '\n') {
            ++m_nCount;
            m_nPiece = 0;
        } else if (++m_nPiece == kPieceMax) {
            m_nPiece = 0;
        }
        ++p;
    }
    return p;
}

int PageTextCounter::Size() const {
    return m_nCount > INT_MAX ? INT_MAX : static_cast<int>(m_nCount);
}

}  // namespace sentrel
