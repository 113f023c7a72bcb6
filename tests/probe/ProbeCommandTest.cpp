// sentrel-probe prints what the watcher's probe measures, one line per URL.
#include <gtest/gtest.h>

#include <algorithm>

#include "Process.h"
#include "ScriptPages.h"
#include "TestServer.h"

using namespace sentrel::test;

TEST(ProbeCommand, PrintsOneSizePerUrlInOrder) {
    TestHttpServer server([](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /a ") == 0)
            c.Write(TestHttpServer::Response("200 OK", "Content-Length: 1234\r\n", ""));
        else if (head.find("GET /b ") == 0)
            c.Write(TestHttpServer::Response("200 OK", "Connection: close\r\n", "x\ny\n"));
        else
            c.Write(TestHttpServer::Response("404 Not Found", "Content-Length: 0\r\n", ""));
        c.Close();
    });
    int code = -1;
    std::string out = RunAndCapture({SENTREL_BIN_DIR "/sentrel-probe", server.Url("/a"),
                                     server.Url("/b"), server.Url("/c"), "not a url"},
                                    &code);
    EXPECT_EQ(0, code);
#ifdef _WIN32
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());  // console line ends
#endif
    EXPECT_EQ("1234\n6\n0\n0\n", out);
}

TEST(ProbeCommand, WithoutArgumentsExplainsItself) {
    int code = -1;
    RunAndCapture({SENTREL_BIN_DIR "/sentrel-probe"}, &code);
    EXPECT_EQ(2, code);
}

#ifdef __linux__
// Most runs only measure sizes: the text libraries (libxml2, and ICU with it; PCRE2) are
// loaded by a run that reads a text or a rule, not at every start.
TEST(ProbeCommand, LoadsTheTextLibrariesOnlyWhenATextOrARuleNeedsThem) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write(TestHttpServer::Response("200 OK", "Content-Type: text/html\r\n", "<p>a</p><p>b</p>"));
        c.Close();
    });
    auto opened = [&](std::vector<std::string> args) {
        args.insert(args.begin(), SENTREL_BIN_DIR "/sentrel-probe");
        int code = -1;
        const std::string log = OpenedLibraries(args, &code);
        EXPECT_EQ(0, code);
        EXPECT_NE(std::string::npos, log.find("file=libcurl")) << "the log is read";
        return std::make_pair(log.find("file=libxml2") != std::string::npos,
                              log.find("file=libpcre2-8") != std::string::npos);
    };
    using Loaded = std::pair<bool, bool>;  // libxml2, PCRE2
    EXPECT_EQ(Loaded(false, false), opened({server.Url("/")})) << "a size";
    EXPECT_EQ(Loaded(true, false), opened({"--text", server.Url("/")})) << "a page's text";
    EXPECT_EQ(Loaded(true, true), opened({"--text", "--ignore", "/^b/", server.Url("/")})) << "a rule";
    EXPECT_EQ(Loaded(true, false), opened({"--text", "--select", "//p[2]", server.Url("/")})) << "an XPath";
}
#endif

#ifndef _WIN32
TEST(ProbeCommand, RendersAPageBuiltByScriptAndFailsWithTheReason) {
    ScriptSite site;
    TestBrowser browser;
    ASSERT_FALSE(browser.Path().empty()) << "no Chromium: scripts/deps.sh --test installs it";
    const std::vector<std::string> env = {"SENTREL_BROWSER=" + browser.Path()};
    int code = -1;
    const std::string probe = SENTREL_BIN_DIR "/sentrel-probe";
    EXPECT_EQ("Loading…\n", RunAndCapture({probe, "--text", "--select", "#app", site.Url("/shell")}, &code, env))
        << "without a browser, the shell the server sends";
    EXPECT_EQ("Price 42\nStock 3\n",
              RunAndCapture({probe, "--text", "--render", "--select", "#app", site.Url("/shell")}, &code, env));
    EXPECT_EQ(0, code);
    EXPECT_EQ("Price 42\n", RunAndCapture({probe, "--text", "--render", "--select", "#app", "--ignore", "/^Stock/",
                                           site.Url("/missing"), site.Url("/shell")},
                                          &code, env));
    EXPECT_EQ(2, code) << "a page that fails";
    EXPECT_EQ(2, browser.Starts()) << "one browser for each run";
    RunAndCapture({probe, "--render", site.Url("/shell")}, &code, env);
    EXPECT_EQ(2, code) << "--render needs --text";
}
#endif
