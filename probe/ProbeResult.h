#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/CurlRules.h"

namespace sentrel {

struct Verdict;

/// Why a probe got no size.
enum class ProbeFailure : int {
    None = 0,
    HttpStatus,        ///< a final status other than 200 (kept in nHttpStatus)
    Network,           ///< the network's: which, in `net` (a URL that cannot be requested too)
    TooLarge,          ///< a text row's page is larger than a text is read from
    NoMatch,           ///< a text row's region matched nothing of the page
    TooComplex,        ///< a text row's page needs more than its bounds to be read
    SlowRule,          ///< an ignore rule needs too long on a line (named in detail)
    NoBrowser,         ///< a rendered row, and no browser to be found
    BrowserFailed,     ///< the browser could not start, broke or stopped answering
    RenderTimeout,     ///< a rendered page did not load, or could not be read, in its bounds
    NoTextLibrary,     ///< a text row's page needs libxml2, and it could not be loaded
    SlowCondition,     ///< a text row's condition needs more than its budget (named in detail)
    BadCondition,      ///< a text row's conditions no longer read (the problem in detail)
    Proxy,             ///< the proxy failed, not the page: `net`, or its status in nHttpStatus
    Blocked,           ///< the site answered with a bot check instead of the page
    LoginNeeded,       ///< a session's page shows a login form: the session has expired
};

/// What one probe found: a size (0 for a page that answered with an empty body), or why
/// there is none. A failure is never a size.
struct ProbeResult {
    int nSize = 0;  ///< a text row's: its text's length in bytes
    ProbeFailure failure = ProbeFailure::None;
    int nHttpStatus = 0;
    /// A Network failure's, as libcurl (or a browser) said it: the one table of a
    /// request's failures, shared with mails and hooks.
    NetFailure net = NetFailure::None;
    std::uint64_t nHash = 0;  ///< a text row's: its text's hash (0: a size row)
    /// A text row's text, when the probe read one (none after a 304); carried to the run's
    /// model only with a result that may be a change.
    std::shared_ptr<const std::string> text{};
    /// SlowRule's rule, or what went wrong in a browser. Shared: a result is kept for each
    /// of 100,000 pages, and hardly any has one.
    std::shared_ptr<const std::string> detail{};
    /// A text row's: what its judge made of the text (see TextJudge.h).
    std::shared_ptr<const Verdict> verdict{};


    bool Ok() const { return failure == ProbeFailure::None; }
    static ProbeResult Size(int size) { return {size, ProbeFailure::None, 0}; }
    static ProbeResult Text(int size, std::uint64_t hash) {
        return {size, ProbeFailure::None, 0, NetFailure::None, hash};
    }
    static ProbeResult Failed(ProbeFailure why, int status = 0) {
        return {0, why, status, why == ProbeFailure::Network ? NetFailure::Network : NetFailure::None};
    }
    static ProbeResult Failed(NetFailure why) { return {0, ProbeFailure::Network, 0, why}; }
    /// A failure with what the reason names (a rule, what a browser did wrong).
    static ProbeResult Failed(ProbeFailure why, std::string detail, int status = 0) {
        ProbeResult r = Failed(why, status);
        if (!detail.empty()) r.detail = std::make_shared<const std::string>(std::move(detail));
        return r;
    }
    static ProbeResult ProxyFailed(NetFailure net, int status) { return {0, ProbeFailure::Proxy, status, net}; }
    static ProbeResult SlowRule(std::string rule) { return Failed(ProbeFailure::SlowRule, std::move(rule)); }
    const std::string& Detail() const {
        static const std::string kNone;
        return detail ? *detail : kNone;
    }

    /// "HTTP 404", "连接被拒绝", ...: the reason as the user reads it.
    std::string Reason() const;

    bool operator==(const ProbeResult& o) const {
        return nSize == o.nSize && failure == o.failure && nHttpStatus == o.nHttpStatus && net == o.net &&
               nHash == o.nHash && Detail() == o.Detail();
    }
};

}  // namespace sentrel
