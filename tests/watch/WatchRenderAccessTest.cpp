// sentrel-watch rendering a row through its proxy (credentials answered over the
// protocol) with its own headers: every request of the page goes through the proxy, and
// its credentials go only to the page's own origin.
#include "WatchFixture.h"
#include "testsupport/ScriptPages.h"
#include "testsupport/TestProxy.h"

namespace sentrel {
namespace test {
namespace {

std::string Answer(const std::string& type, const std::string& body) {
    return TestHttpServer::Response("200 OK", "Content-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n", body);
}

TEST(WatchRenderAccess, ARenderedRowGoesThroughItsProxyWithItsHeadersAndKeepsItsCredentialsAtHome) {
    TestHttpServer other([](TestServer::Conn& c, const std::string&, int) {
        c.Write(Answer("text/javascript", "document.getElementById('out').textContent = 'from elsewhere';"));
    });
    TestHttpServer site([&](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /data ") == 0)
            c.Write(Answer("application/json", "{\"price\": 42}"));
        else
            c.Write(Answer("text/html", "<html><body><p id=out></p><p id=price></p>"
                                        "<script src=\"" + other.Url("/x.js") + "\"></script>"
                                        "<script>fetch('/data').then(r => r.json()).then(d => "
                                        "document.getElementById('price').textContent = 'Price ' + d.price);</script>"
                                        "</body></html>"));
    });
    TestProxy proxy({TestProxy::Kind::Http, "me", "pass word", 0});
    TestBrowser browser;
    ASSERT_FALSE(browser.Path().empty()) << "no Chromium: scripts/deps.sh --test installs it";
    TempDir temp;
    Profile p;
    p.List({});
    std::vector<std::string> env = p.Env();
    env.push_back("SENTREL_BROWSER=" + browser.Path());
    env.push_back("TMPDIR=" + temp.Path());
    int code = -1;
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), kWatch);
        return RunAndCapture(args, &code, env);
    };
    run({"--add", site.Url("/page"), "--render", "--proxy", proxy.Url("http", "me:pass%20word"), "--header",
         "Cookie: sid=s3cret", "--header", "Accept-Language: zh-CN"});
    ASSERT_EQ(0, code);
    EXPECT_EQ("", run({"--once"})) << "the first text is the reference";
    EXPECT_EQ(0, code);
    std::vector<std::string> heads = proxy.Heads();
    EXPECT_EQ(site.RequestCount() + other.RequestCount(), static_cast<int>(heads.size()))
        << "every request of the page came through the proxy";
    bool page = false, data = false, script = false;
    for (const std::string& h : heads) {
        const bool cookie = h.find("Cookie: sid=s3cret\r\n") != std::string::npos;
        const bool language = h.find("Accept-Language: zh-CN\r\n") != std::string::npos;
        if (h.find("GET /page ") == 0) page = cookie && language;
        if (h.find("GET /data ") == 0) data = cookie && language;
        if (h.find("GET /x.js ") == 0) script = !cookie && language;
    }
    EXPECT_TRUE(page) << "the page asked with the row's headers";
    EXPECT_TRUE(data) << "the page's own requests too";
    EXPECT_TRUE(script) << "another origin gets no cookie";

    // A proxy that refuses our credentials is the proxy's failure, not the page's.
    TestProxy strict({TestProxy::Kind::Http, "me", "other", 0});
    run({"--add", site.Url("/page2"), "--render", "--proxy", strict.Url("http", "me:wrong")});
    const std::string out = run({"--once"});
    EXPECT_EQ(2, code);
    EXPECT_NE(std::string::npos, out.find("代理出错")) << out;
    EXPECT_TRUE(ProcessesWith("--user-data-dir=" + temp.Path()).empty());
}

}  // namespace
}  // namespace test
}  // namespace sentrel
