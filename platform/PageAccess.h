#pragma once
// How a row's requests reach its page beyond an anonymous visit from this machine: through
// a proxy, with headers of its own, in a logged-in session. The rules of what reads, what
// is shown and which proxy a request takes, once for the window and sentrel-watch. No
// libcurl here (the window's dialogs read it); what libcurl is told is in CurlRules.h.
#include <string>
#include <utility>
#include <vector>


namespace sentrel {

/// A row's own ways to its page; all empty: an anonymous visit through the program's proxy.
struct PageAccess {
    std::string proxy;                 ///< the row's own proxy URL; "none": direct; empty: the program's
    std::vector<std::string> headers;  ///< "Name: value" lines, in the order given
    std::string session;               ///< a rendered row's logged-in session; empty: none

    bool Empty() const { return proxy.empty() && headers.empty() && session.empty(); }
    bool operator==(const PageAccess& o) const {
        return proxy == o.proxy && headers == o.headers && session == o.session;
    }
    bool operator!=(const PageAccess& o) const { return !(*this == o); }
};

/// A row's proxy that means "no proxy at all", even where the program or the environment
/// names one.
constexpr const char* kDirect = "none";

/// Which proxy one request takes.
struct ProxyChoice {
    enum Kind {
        Environment,  ///< http_proxy, https_proxy, all_proxy and no_proxy, as libcurl reads them
        Direct,       ///< none
        Url,          ///< `url`, for every host (loopback too)
    } kind = Environment;
    std::string url;
};
/// The row's own proxy, else the program's, else the environment's.
ProxyChoice ChooseProxy(const std::string& rowProxy, const std::string& programProxy);

/// What a row's probes go out with: the proxy chosen and the row's own headers.
struct PageRoute {
    ProxyChoice proxy;
    std::vector<std::string> headers;
};

/// True when `url` is a proxy this program can use: http, https, socks5 or socks5h, a host,
/// an optional port and user:password, nothing after them. "none" reads as direct.
bool CheckProxy(const std::string& url, std::string& problem);
/// What is wrong with the program's proxy (proxy= in sentrel.ini), said once at start, or
/// empty. A proxy that does not read is kept, never dropped: checks fail through it rather
/// than going out direct where the user asked for a proxy.
std::string ProgramProxyProblem(const std::string& proxy);
/// A proxy as it is shown: its password as ***.
std::string MaskedProxy(const std::string& url);

/// True when `line` is a header a request may carry as written: "Name: value", the name a
/// token, neither holding CR, LF or NUL. The problem names the header.
bool CheckHeader(const std::string& line, std::string& problem);
/// The header's name, as written ("" when the line has no colon).
std::string HeaderName(const std::string& line);
/// A header as it is shown: the value of Cookie, Authorization and Proxy-Authorization as ***.
std::string MaskedHeader(const std::string& line);
/// True when two header names name the same header (letter case aside).
bool SameHeaderName(const std::string& a, const std::string& b);
/// A request's headers, as name and value, with the row's own: each takes the place of
/// one of its name. The row's Cookie and Authorization go only where `sameOrigin` (the
/// scheme, host and port the row names), never on to where a redirect or a script leads.
using HeaderList = std::vector<std::pair<std::string, std::string>>;
HeaderList WithRowHeaders(HeaderList sent, const std::vector<std::string>& own, bool sameOrigin);
/// Stored headers (one a line) as lines, and back; empty lines are no headers.
std::vector<std::string> HeaderLines(const std::string& stored);
std::string StoredHeaders(const std::vector<std::string>& lines);

/// True when `name` can name a session: letters, digits, - and _, at most 64.
bool CheckSessionName(const std::string& name, std::string& problem);

/// All of a row's ways checked: its proxy, each header, its session's name (the first
/// problem found).
bool CheckAccess(const PageAccess& access, std::string& problem);

}  // namespace sentrel
