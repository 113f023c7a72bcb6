#pragma once
#include <string>

namespace sentrel {

/// Why a probe got no size.
enum class ProbeFailure : int {
    None = 0,
    HttpStatus,        ///< a final status other than 200 (kept in nHttpStatus)
    Refused,           ///< nothing accepted the connection
    Timeout,           ///< connecting, waiting for data, or the probe's cap
    Resolve,           ///< the host name was not found
    Tls,               ///< TLS handshake or certificate refused
    TooManyRedirects,  ///< more hops than a probe follows
    Network,           ///< any other failure, a URL that cannot be requested included
};

/// What one probe found: a size (0 for a page that answered with an empty body), or why
/// there is none. A failure is never a size.
struct ProbeResult {
    int nSize = 0;
    ProbeFailure failure = ProbeFailure::None;
    int nHttpStatus = 0;

    bool Ok() const { return failure == ProbeFailure::None; }
    static ProbeResult Size(int size) { return {size, ProbeFailure::None, 0}; }
    static ProbeResult Failed(ProbeFailure why, int status = 0) { return {0, why, status}; }

    /// "HTTP 404", "连接被拒绝", ...: the reason as the user reads it.
    std::string Reason() const;

    bool operator==(const ProbeResult& o) const {
        return nSize == o.nSize && failure == o.failure && nHttpStatus == o.nHttpStatus;
    }
};

}  // namespace sentrel
