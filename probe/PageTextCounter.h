#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace sentrel {

/// Measures a page body the way the line reader of the probe sees it, as the bytes
/// stream in: the body goes in pieces of at most 4094 stored bytes, a piece ends after
/// an LF, CR bytes are never stored, a NUL ends the counted text of its piece, and
/// every counted LF stands for CR LF. Holds nothing of the body itself.
class PageTextCounter {
  public:
    static constexpr std::size_t kPieceMax = 4094;

    /// Counts `n` more body bytes; when `out` is given, appends the converted text too.
    void Feed(const char* data, std::size_t n, std::string* out = nullptr);

    /// Counted length so far (converted text length), never above INT32_MAX when read
    /// through Size().
    std::int64_t Count() const { return m_nCount; }
    int Size() const;

  private:
    /// Counts from p while no CR or NUL comes and no NUL state holds; returns where it stopped.
    const unsigned char* CountPlain(const unsigned char* p, const unsigned char* end);

    std::size_t m_nPiece = 0;    // bytes stored in the current piece
    bool m_bNulInPiece = false;  // a NUL ended the counted text of the current piece
    std::int64_t m_nCount = 0;
};

}  // namespace sentrel
