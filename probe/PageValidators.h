#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace sentrel {

/// What a page's last measured response said about its version (ETag, Last-Modified),
/// with the size measured then: the next probe asks "changed since?", and a 304 means
/// that size again.
struct PageValidators {
    int nSize = 0;
    std::string etag;
    std::string lastModified;
    std::uint64_t nHash = 0;  ///< a text row's: the hash of the text they stand for

    /// Longest validator kept; a longer header is a server's oddity, not worth a column.
    static constexpr std::size_t kMaxLength = 1024;

    /// True when a conditional request can be made: a size to stand for, and a validator
    /// that can go into a header as it is.
    bool Usable() const {
        return nSize > 0 && (!etag.empty() || !lastModified.empty()) && HeaderSafe(etag) &&
               HeaderSafe(lastModified);
    }
    /// A value that can be sent back in a header: no control character (a CR or LF would
    /// end the header and start another of the server's choosing).
    static bool HeaderSafe(const std::string& value) {
        for (unsigned char c : value)
            if (c < 0x20 || c == 0x7f) return false;
        return true;
    }
    bool operator==(const PageValidators& o) const {
        return nSize == o.nSize && etag == o.etag && lastModified == o.lastModified &&
               nHash == o.nHash;
    }
};

/// A watcher's latest validators, read by the run's model when it stores a size; the loop
/// of many pages reads them back for each probe. One a page: the boxes share a few locks
/// (a run may hold 100,000 of them, each read or written once a probe).
class ValidatorBox {
  public:
    ValidatorBox() = default;
    explicit ValidatorBox(PageValidators v) : m_v(std::move(v)) {}

    void Put(const PageValidators& v) {
        std::lock_guard<std::mutex> lock(Lock());
        m_v = v;
    }
    PageValidators Get() const {
        std::lock_guard<std::mutex> lock(Lock());
        return m_v;
    }

  private:
    std::mutex& Lock() const {
        static std::mutex locks[16];
        return locks[(reinterpret_cast<std::uintptr_t>(this) / alignof(ValidatorBox)) % 16];
    }
    PageValidators m_v;
};

using ValidatorBoxPtr = std::shared_ptr<ValidatorBox>;

}  // namespace sentrel
