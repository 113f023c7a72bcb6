#pragma once
// The probe's side of one request (private to the probe): what the response says, and the
// libcurl callbacks that read it. Included by PageProbe.cpp, and by the fuzz target of
// the response handling.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/CurlApi.h"
#include "platform/TextRules.h"
#include "probe/PageTextCounter.h"
#include "probe/PageValidators.h"
#include "probe/RunFlag.h"

namespace sentrel {
namespace probe {

constexpr int kMaxRedirects = 10;
constexpr long kBodyBufferSize = 256 * 1024;
// A body the probe does not need is still read when it is this small and comes this soon,
// so that the connection can serve the next probe; otherwise the connection is dropped.
constexpr long long kDrainMaxBytes = 64 * 1024;
constexpr std::chrono::milliseconds kDrainWait(20);
// The largest body a text row reads; a larger page fails rather than being cut.
constexpr std::size_t kMaxTextBody = 16u * 1024 * 1024;

inline bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

inline bool HeaderIs(const std::string& line, const char* name, std::string& value) {
    std::size_t n = std::strlen(name);
    if (line.size() <= n || line[n] != ':') return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
    value = line.substr(n + 1);
    return true;
}

/// One logical request, across redirects and the connect retry.
struct Transfer {
    std::string url;
    bool bWantBody = false;
    PageTextCounter* counter = nullptr;
    std::string* text = nullptr;
    std::string* raw = nullptr;  // a text row's body, as it comes (instead of the counter)
    bool bTooLarge = false;
    const CRunFlag* abortFlag = nullptr;
    // Where a headers-only request counts the body if it must be asked again for a length
    // libcurl refused: when that length is no number either, the body answers at once.
    PageTextCounter* retryCounter = nullptr;
    bool bBodyUnlessLength = false;

    // The response being received.
    long status = 0;
    bool bHaveLength = false;
    std::string contentLength;
    std::string location;
    bool bHeadersDone = false;
    bool bStoppedByUs = false;  // ended on purpose: headers were all we needed, or body complete
    bool bLimited = false;
    long long nBodyLeft = 0;
    bool bChunked = false;
    bool bChallenge = false;  // the response is a bot check (cf-mitigated: challenge)
    bool bSetCookie = false;  // any response of this request set a cookie (kept across hops)
    std::string etag;         // the response's validators, for the next conditional request
    std::string lastModified;
    std::string contentType;
    // An unneeded small body being read for the connection's sake, until this deadline.
    bool bDraining = false;
    long long nDrainLeft = 0;
    std::chrono::steady_clock::time_point drainDeadline;

    void ResetResponse() {
        status = 0;
        bHaveLength = false;
        contentLength.clear();
        location.clear();
        etag.clear();
        lastModified.clear();
        contentType.clear();
        if (raw) raw->clear();
        bHeadersDone = bStoppedByUs = bLimited = bChunked = bDraining = bChallenge = false;
        nBodyLeft = 0;
    }

    // The announced length when it is plain digits, else -1.
    long long PlainLength() const {
        std::string digits = TrimBlanks(contentLength);
        if (!bHaveLength || digits.empty() || digits.size() > 18 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        return std::strtoll(digits.c_str(), nullptr, 10);
    }

    // A validator as it is sent back: trimmed, and none at all when oversized or when it
    // holds a control character.
    static std::string Validator(const std::string& value) {
        std::string v = TrimBlanks(value);
        return v.size() <= PageValidators::kMaxLength && PageValidators::HeaderSafe(v)
                   ? v
                   : std::string();
    }

    static size_t OnHeader(char* buf, size_t size, size_t n, void* user) {
        Transfer& t = *static_cast<Transfer*>(user);
        std::size_t len = size * n;
        std::string line(buf, len);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        std::string value;
        if (line.compare(0, 5, "HTTP/") == 0) {
            t.ResetResponse();
            std::size_t sp = line.find(' ');
            t.status = sp == std::string::npos ? 0 : std::atol(line.c_str() + sp + 1);
        } else if (line.empty()) {
            if (t.status / 100 == 1) return len;  // interim response; the real one follows
            t.bHeadersDone = true;
            bool redirect = probe::IsRedirect(t.status) && !t.location.empty();
            if (redirect || !t.bWantBody || t.status != 200) {
                // The headers are all this request needs. 304 and 204 have no body: the
                // transfer ends by itself and keeps its connection.
                if (t.status == 304 || t.status == 204) return len;
                // A small body, of known length or chunked, is read if it comes at once,
                // so that the connection stays usable; any other body is never read, and
                // the connection goes.
                const long long length = t.PlainLength();
                if (t.bChunked || (length >= 0 && length <= probe::kDrainMaxBytes)) {
                    t.bDraining = true;
                    t.nDrainLeft = probe::kDrainMaxBytes;
                    t.drainDeadline = std::chrono::steady_clock::now() + probe::kDrainWait;
                    return len;
                }
                t.bStoppedByUs = true;
                return 0;
            }
            if (t.bBodyUnlessLength && AtoiClamped(t.contentLength.c_str()) > 0) {
                t.bStoppedByUs = true;  // the length answers; the body is not needed
                return 0;
            }
            // A well-formed length bounds the body; anything else reads to the close.
            std::string digits = TrimBlanks(t.contentLength);
            if (t.bHaveLength && !digits.empty() &&
                digits.find_first_not_of("0123456789") == std::string::npos) {
                t.bLimited = true;
                t.nBodyLeft = std::strtoll(digits.c_str(), nullptr, 10);  // saturates
                if (t.nBodyLeft == 0) {
                    t.bStoppedByUs = true;
                    return 0;
                }
            }
        } else if (!t.bHaveLength && probe::HeaderIs(line, "content-length", value)) {
            t.bHaveLength = true;
            t.contentLength = value;
        } else if (probe::HeaderIs(line, "location", value)) {
            t.location = TrimBlanks(value);
        } else if (probe::HeaderIs(line, "set-cookie", value)) {
            t.bSetCookie = true;
        } else if (probe::HeaderIs(line, "cf-mitigated", value)) {
            t.bChallenge = t.bChallenge || TrimBlanks(value) == "challenge";
        } else if (probe::HeaderIs(line, "transfer-encoding", value)) {
            t.bChunked = true;
        } else if (probe::HeaderIs(line, "etag", value)) {
            t.etag = Validator(value);
        } else if (probe::HeaderIs(line, "last-modified", value)) {
            t.lastModified = Validator(value);
        } else if (probe::HeaderIs(line, "content-type", value)) {
            t.contentType = TrimBlanks(value);
        }
        return len;
    }

    static size_t OnBody(char* data, size_t size, size_t n, void* user) {
        Transfer& t = *static_cast<Transfer*>(user);
        std::size_t len = size * n;
        if (t.bDraining) {  // read only to keep the connection, and only so much
            t.nDrainLeft -= static_cast<long long>(len);
            if (t.nDrainLeft >= 0) return len;
            t.bStoppedByUs = true;
            return 0;
        }
        if (!t.bWantBody || !(t.counter || t.raw)) return 0;
        std::size_t take = len;
        if (t.bLimited) {
            if (static_cast<long long>(take) > t.nBodyLeft)
                take = static_cast<std::size_t>(t.nBodyLeft);
            t.nBodyLeft -= static_cast<long long>(take);
        }
        if (t.raw) {
            if (t.raw->size() + take > kMaxTextBody) {
                t.bTooLarge = t.bStoppedByUs = true;
                return 0;
            }
            t.raw->append(data, take);
        } else {
            t.counter->Feed(data, take, t.text);
        }
        if (t.bLimited && t.nBodyLeft == 0) {
            t.bStoppedByUs = true;  // the announced length is in; whatever follows is not the page
            return 0;
        }
        return len;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const Transfer& t = *static_cast<Transfer*>(user);
        return (t.abortFlag && t.abortFlag->IsAborted()) ? 1 : 0;
    }
};

}  // namespace probe
}  // namespace sentrel
