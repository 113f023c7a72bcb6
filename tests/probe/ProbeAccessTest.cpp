// A row's ways to its page: proxies of every kind, and its own headers, on each kind of
// probe; a failing proxy told apart from a failing page; bot checks told as blocks.
#include <gtest/gtest.h>

#include "content/PageText.h"
#include "platform/Files.h"
#include "probe/WatchThread.h"
#include "testsupport/English.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestProxy.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::string Page(const std::string& body, const std::string& status = "200 OK", const std::string& headers = "") {
    return TestHttpServer::Response(status, headers + "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

struct Probed {
    ProbeResult result;
    std::string reason;
};

Probed ProbeThrough(const std::string& url, const PageRoute& route, const content::PageReader* reader = nullptr) {
    CWatchThread probe;
    EXPECT_TRUE(probe.OpenSession());
    probe.SetRoute(&route);
    probe.SetReader(reader);
    Probed p;
    p.result = probe.Probe(url.c_str());
    p.reason = p.result.Reason();
    return p;
}

}  // namespace

TEST(ProbeAccess, EachKindOfProxyCarriesThePageAndAFailingProxyIsToldAsSuch) {
    InEnglish english;
    TempDir dir;
    TestCerts certs(dir.Path());
    SetEnv("CURL_CA_BUNDLE", certs.CaFile().c_str());
    auto handler = [](TestServer::Conn& c, const std::string& head, int) {
        c.Write(head.find("GET /gone ") == 0 ? Page("no", "404 Not Found") : Page("hello"));
    };
    TestHttpServer site(handler), tlsSite(handler, certs.ServerContext(TestCerts::kValid));
    TestProxy http({}), authed({TestProxy::Kind::Http, "u", "p w", 0}), refusing({TestProxy::Kind::Http, "", "", 403});
    TestProxy socks({TestProxy::Kind::Socks5, "", "", 0}), socksAuthed({TestProxy::Kind::Socks5, "u", "pw", 0});
    RefusingPort closed;
    const std::string refused = "http://127.0.0.1:" + std::to_string(closed.Port());
    struct Case {
        const char* what;
        std::string proxy;
        std::string url;
        TestProxy* carrier;  // the proxy that must have carried it (none: a failure before)
        const char* reason;  // "" when the page is measured
    };
    const Case cases[] = {
        {"plain through http", http.Url("http"), site.Url("/"), &http, ""},
        {"tunnel through http", http.Url("http"), tlsSite.Url("/", true), &http, ""},
        {"with credentials", authed.Url("http", "u:p%20w"), site.Url("/"), &authed, ""},
        {"tunnel with credentials", authed.Url("http", "u:p%20w"), tlsSite.Url("/", true), &authed, ""},
        {"wrong credentials", authed.Url("http", "u:bad"), site.Url("/"), nullptr, "Proxy error: HTTP 407"},
        {"tunnel, wrong credentials", authed.Url("http", "u:bad"), tlsSite.Url("/", true), nullptr,
         "Proxy error: HTTP 407"},
        {"tunnel refused", refusing.Url("http"), tlsSite.Url("/", true), nullptr, "Proxy error: HTTP 403"},
        {"socks5", socks.Url("socks5"), site.Url("/"), &socks, ""},
        {"socks5h", socks.Url("socks5h"), tlsSite.Url("/", true), &socks, ""},
        {"socks5 with credentials", socksAuthed.Url("socks5", "u:pw"), site.Url("/"), &socksAuthed, ""},
        {"socks5, wrong credentials", socksAuthed.Url("socks5", "u:no"), site.Url("/"), nullptr, "Proxy error:"},
        {"proxy not there", refused, site.Url("/"), nullptr, "Proxy error: connection refused"},
        {"the page's own 404", http.Url("http"), site.Url("/gone"), &http, "HTTP 404"},
    };
    for (const Case& c : cases) {
        const int before = c.carrier ? c.carrier->Carried() : 0;
        const int siteBefore = site.RequestCount() + tlsSite.RequestCount();
        const Probed p = ProbeThrough(c.url, PageRoute{ChooseProxy(c.proxy, ""), {}});
        if (*c.reason) {
            EXPECT_EQ(0u, p.reason.find(c.reason)) << c.what << ": " << p.reason;
        } else {
            EXPECT_EQ(ProbeResult::Size(5), p.result) << c.what << ": " << p.reason;
        }
        if (c.carrier) {
            EXPECT_LT(before, c.carrier->Carried()) << c.what;
        } else {
            EXPECT_EQ(siteBefore, site.RequestCount() + tlsSite.RequestCount()) << c.what << " reached the site";
        }
    }
    UnsetEnv("CURL_CA_BUNDLE");
}

TEST(ProbeAccess, TheRowsProxyThenTheProgramsThenTheEnvironmentsAndNoneGoesDirect) {
    TestHttpServer site([](TestServer::Conn& c, const std::string&, int) { c.Write(Page("hello")); });
    TestProxy rowProxy({}), programProxy({}), envProxy({});
    SetEnv("http_proxy", envProxy.Url("http").c_str());
    SetEnv("no_proxy", "");
    struct Case {
        std::string row, program;
        TestProxy* carrier;  // none: direct
    };
    const Case cases[] = {
        {rowProxy.Url("http"), programProxy.Url("http"), &rowProxy},
        {"", programProxy.Url("http"), &programProxy},
        {"", "", &envProxy},
        {"none", programProxy.Url("http"), nullptr},
    };
    for (const Case& c : cases) {
        const int carried[] = {rowProxy.Carried(), programProxy.Carried(), envProxy.Carried()};
        EXPECT_EQ(ProbeResult::Size(5), ProbeThrough(site.Url("/"), PageRoute{ChooseProxy(c.row, c.program), {}}).result);
        const int now[] = {rowProxy.Carried(), programProxy.Carried(), envProxy.Carried()};
        const TestProxy* proxies[] = {&rowProxy, &programProxy, &envProxy};
        for (int i = 0; i < 3; ++i) EXPECT_EQ(proxies[i] == c.carrier, now[i] > carried[i]) << c.row << " | " << c.program << " | " << i;
    }
    UnsetEnv("http_proxy");
    UnsetEnv("no_proxy");
}

TEST(ProbeAccess, TheRowsHeadersGoWithSizeAndTextProbesAndItsCredentialsStayWithTheirHost) {
    TestHttpServer other([](TestServer::Conn& c, const std::string&, int) { c.Write(Page("there")); });
    TestHttpServer site([&](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /moved ") == 0)
            c.Write("HTTP/1.1 302 Found\r\nLocation: " + other.Url("/") + "\r\nContent-Length: 0\r\n\r\n");
        else
            c.Write(Page("hello"));
    });
    const std::vector<std::string> headers = {"Cookie: sid=abc", "Authorization: Bearer t0k", "Accept-Language: zh-CN",
                                              "User-Agent: Mine/1.0", "Accept: text/html"};
    content::PageReader text;
    for (const content::PageReader* reader : {static_cast<const content::PageReader*>(nullptr), static_cast<const content::PageReader*>(&text)}) {
        EXPECT_TRUE(ProbeThrough(site.Url("/"), PageRoute{{}, headers}, reader).result.Ok());
        const std::string head = site.Requests().back();
        for (const std::string& h : headers) EXPECT_NE(std::string::npos, head.find(h + "\r\n")) << h;
        EXPECT_EQ(std::string::npos, head.find("MSIE")) << "the row's User-Agent stands for the program's";
        EXPECT_EQ(std::string::npos, head.find("*/*")) << "the row's Accept stands for the program's";
    }
    EXPECT_TRUE(ProbeThrough(site.Url("/moved"), PageRoute{{}, headers}).result.Ok());
    const std::string there = other.Requests().back();
    EXPECT_EQ(std::string::npos, there.find("sid=abc"));
    EXPECT_EQ(std::string::npos, there.find("t0k"));
    EXPECT_NE(std::string::npos, there.find("Accept-Language: zh-CN"));
    // Without headers of its own a row asks exactly as ever.
    EXPECT_TRUE(ProbeThrough(site.Url("/"), PageRoute{}).result.Ok());
    EXPECT_NE(std::string::npos, site.Requests().back().find("Accept: */*"));
}

TEST(ProbeAccess, ABotCheckIsABlockNeverAPage) {
    InEnglish english;
    TestHttpServer site([](TestServer::Conn& c, const std::string& head, int) {
        auto is = [&](const char* path) { return head.find(std::string("GET ") + path + " ") == 0; };
        if (is("/cf"))
            c.Write(Page("<html>wait</html>", "403 Forbidden", "cf-mitigated: challenge\r\n"));
        else if (is("/title"))
            c.Write(Page("<html><head><title>Just a moment&hellip;</title></head><body>Checking</body></html>"));
        else if (is("/form"))
            c.Write(Page("<html><body><form id=\"challenge-form\" action=\"/x\"></form></body></html>"));
        else if (is("/plain403"))
            c.Write(Page("<html>no</html>", "403 Forbidden"));
        else
            c.Write(Page("<html><head><title>Just a moment with us</title></head><body>news</body></html>"));
    });
    content::PageReader text;
    struct Case {
        const char* path;
        bool textRow;
        const char* reason;
    };
    const Case cases[] = {
        {"/cf", false, "Blocked (bot check)"},    {"/cf", true, "Blocked (bot check)"},
        {"/title", true, "Blocked (bot check)"},  {"/form", true, "Blocked (bot check)"},
        {"/plain403", true, "HTTP 403"},          {"/news", true, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.reason, ProbeThrough(site.Url(c.path), PageRoute{}, c.textRow ? &text : nullptr).reason) << c.path;
}
