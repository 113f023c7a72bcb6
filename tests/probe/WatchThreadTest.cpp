// The page size probe against real HTTP servers on 127.0.0.1: what it asks and what the
// answers measure.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

#include "ProbeServers.h"
#include "content/TextHash.h"
#include "testsupport/HostilePages.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(PageSizeProbe, ContentLengthIsTakenWithoutReadingTheBody) {
    // The server announces 1234 bytes, sends a few and then stalls: the probe must not wait.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write(Resp("Content-Length: 1234\r\n", "only a little"));
        c.Sleep(std::chrono::seconds(20));
    });
    auto start = Clock::now();
    EXPECT_EQ(1234, Probe(server.Url("/page")));
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_EQ(1, server.RequestCount());
}

TEST(PageSizeProbe, ZeroLengthFallsBackToASecondRequestCountingLineEndsAsCrLf) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int index) {
        if (index == 0)
            c.Write(Resp("Content-Length: 0\r\n", ""));
        else
            c.Write(Resp("Content-Length: 6\r\n", "a\nb\nc\n"));
    });
    EXPECT_EQ(9, Probe(server.Url("/")));
    EXPECT_EQ(2, server.RequestCount());
}

TEST(PageSizeProbe, BodyMeasureFollowsTheLineReaderRules) {
    struct Case {
        const char* name;
        std::string body;
        int expected;
    } cases[] = {
        {"CR LF line ends count once", std::string("a\r\nb\r\n"), 6},
        {"lone CR is not counted", std::string("ab\rc"), 3},
        {"NUL ends its piece's counted text", std::string("ab\0cd\nef", 8), 4},
        {"10000 plain bytes in three pieces", std::string(10000, 'x'), 10000},
        // Piece 1 is 4094 bytes with a NUL at 100: 100 counted; piece 2 counts 906.
        {"NUL only cuts its own piece",
         [] {
             std::string s(5000, 'y');
             s[100] = '\0';
             return s;
         }(),
         1006},
    };
    for (const Case& c : cases) {
        // No Content-Length: the body runs to the close of the connection.
        TestHttpServer server(Always(Resp("Connection: close\r\n", c.body)));
        EXPECT_EQ(c.expected, Probe(server.Url("/"))) << c.name;
    }
}

TEST(PageSizeProbe, ContentLengthFollowsTheAtoiRule) {
    struct Case {
        const char* value;
        int expected;
    } cases[] = {
        {"123abc", 123}, {"  42", 42},  {"99999999999", INT_MAX},  // clamped to 32 bits
        {"abc", 5},                                  // no number: measured from the body
        {"-5", 5},                                   // a negative length is no size either
        {"+42", 42},     {"12 34", 12}, {"1e3", 1},  // newer libcurl refuses these: read here
    };
    for (const Case& c : cases) {
        TestHttpServer server(Always(Resp(
            "Content-Length: " + std::string(c.value) + "\r\nConnection: close\r\n", "hello")));
        EXPECT_EQ(c.expected, Probe(server.Url("/"))) << c.value;
    }
}

TEST(PageSizeProbe, DownloadStopsAtTheAnnouncedLength) {
    // Second request: the server keeps the connection open after the 5 announced bytes.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int index) {
        c.Write(Resp(index == 0 ? "Content-Length: 0\r\n" : "Content-Length: 5\r\n", "12345"));
    });
    auto start = Clock::now();
    EXPECT_EQ(5, Probe(server.Url("/")));
    EXPECT_LT(SecondsSince(start), 2.0);
}

TEST(PageSizeProbe, FailuresSayWhatHappenedAndAreNoSize) {
    TestHttpServer notFound(
        Always(TestHttpServer::Response("404 Not Found", "Content-Length: 9\r\n", "not found")));
    // Every answer redirects once more.
    TestHttpServer loop([](TestServer::Conn& c, const std::string&, int index) {
        c.Write(TestHttpServer::Response(
            "302 Found", "Location: /r" + std::to_string(index) + "\r\nContent-Length: 0\r\n", ""));
    });
    TestHttpServer empty(Always(Resp("Content-Length: 0\r\n", "")));
    RefusingPort refused;
    const std::string refusedUrl = "http://127.0.0.1:" + std::to_string(refused.Port()) + "/";
    struct Case {
        std::string url;
        ProbeResult expected;
    } cases[] = {
        {notFound.Url("/missing"), ProbeResult::Failed(ProbeFailure::HttpStatus, 404)},
        {loop.Url("/"), ProbeResult::Failed(NetFailure::TooManyRedirects)},
        {refusedUrl, ProbeResult::Failed(NetFailure::Refused)},
        {"not a url", ProbeResult::Failed(ProbeFailure::Network)},
        {"ftp://127.0.0.1/x", ProbeResult::Failed(ProbeFailure::Network)},
        {"127.0.0.1/no-scheme", ProbeResult::Failed(ProbeFailure::Network)},
        {"", ProbeResult::Failed(ProbeFailure::Network)},
        {empty.Url("/"), ProbeResult::Size(0)},  // an empty page is a size, not a failure
    };
    for (const Case& c : cases) {
        auto start = Clock::now();
        EXPECT_EQ(c.expected.Reason(), ProbeOnce(c.url).Reason()) << c.url;
        EXPECT_EQ(c.expected, ProbeOnce(c.url)) << c.url;
        EXPECT_LT(SecondsSince(start), 6.0) << "one retry after one second, no more";
    }
    EXPECT_EQ(2, notFound.RequestCount()) << "no second request after a 404";
    EXPECT_EQ(0, Probe(refusedUrl)) << "the size of a failure is 0";
}

TEST(PageSizeProbe, ALengthOfLettersCostsOneMoreRequest) {
    TestHttpServer server(Always(Resp("Content-Length: abc\r\nConnection: close\r\n", "hello")));
    EXPECT_EQ(5, Probe(server.Url("/")));
    EXPECT_EQ(2, server.RequestCount());
}

TEST(PageSizeProbe, StalledServerGivesZeroWithinBoundedTime) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Sleep(std::chrono::seconds(30));  // reads the request, answers nothing
    });
    auto start = Clock::now();
    EXPECT_EQ(ProbeResult::Failed(NetFailure::Timeout), ProbeOnce(server.Url("/")));
    double took = SecondsSince(start);
    EXPECT_GE(took, 4.5);
    EXPECT_LT(took, 8.0);
}

TEST(PageSizeProbe, TheRequestCapEndsTheWholeProbe) {
    struct Case {
        const char* what;
        TestHttpServer::Handler server;
        int cap;
        double bound;
    };
    const Case cases[] = {
        // Two bytes a second keep the transfer above the stall limit; only the cap ends it.
        {"trickle",
         [](TestServer::Conn& c, const std::string&, int) {
             c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
             while (c.Write("..") && c.Sleep(std::chrono::milliseconds(500))) {
             }
         },
         3, 5.0},
        // Every hop answers after 0.8 s and redirects again: five hops would take 4 s.
        {"redirects",
         [](TestServer::Conn& c, const std::string&, int index) {
             if (!c.Sleep(std::chrono::milliseconds(800))) return;
             c.Write(TestHttpServer::Response(
                 "302 Found",
                 "Location: /hop" + std::to_string(index + 1) + "\r\nContent-Length: 0\r\n", ""));
         },
         2, 3.0},
    };
    for (const Case& k : cases) {
        TestHttpServer server(k.server);
        CWatchThread probe;
        probe.SetRequestCap(k.cap);
        ASSERT_TRUE(probe.OpenSession());
        auto start = Clock::now();
        EXPECT_EQ(0, probe.GetPageSize(server.Url("/").c_str())) << k.what;
        EXPECT_LT(SecondsSince(start), k.bound) << k.what;
    }
}

TEST(PageSizeProbe, SendsExactlyTheFixedHeaders) {
    TestHttpServer server(Always(Resp("Content-Length: 3\r\n", "abc")));
    ASSERT_EQ(3, Probe(server.Url("/path?q=1")));
    ASSERT_EQ(1, server.RequestCount());
    std::string expected =
        "GET /path?q=1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
        "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
        "Accept: */*\r\n\r\n";
    EXPECT_EQ(expected, server.Requests()[0]);
}

TEST(PageSizeProbe, PlainUrlMentioningHttpsIsFetchedOverHttp) {
    TestHttpServer server(Always(Resp("Content-Length: 77\r\n", "")));
    EXPECT_EQ(77, Probe(server.Url("/go?next=https://example.com/")));
}

TEST(PageSizeProbe, RedirectsAreFollowedWithTheirCookies) {
    TestHttpServer server([](TestServer::Conn& c, const std::string& head, int index) {
        if (index == 0) {
            c.Write(TestHttpServer::Response(
                "302 Found", "Location: /final\r\nSet-Cookie: sid=42\r\nContent-Length: 5\r\n",
                "moved"));
        } else {
            bool cookie = head.find("Cookie: sid=42") != std::string::npos;
            c.Write(Resp(cookie ? "Content-Length: 321\r\n" : "Content-Length: 1\r\n", ""));
        }
    });
    EXPECT_EQ(321, Probe(server.Url("/start")));
    ASSERT_EQ(2, server.RequestCount());
    EXPECT_EQ(0u, server.Requests()[1].find("GET /final HTTP/1.1\r\n"));
}

TEST(PageSizeProbe, AbortAtExitEndsARequestInFlight) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write("HTTP/1.1 200 OK\r\n");  // headers never finish
        c.Sleep(std::chrono::seconds(30));
    });
    auto flag = std::make_shared<CRunFlag>("RUN");
    CWatchThread probe;
    probe.SetAbortFlag(flag);
    ASSERT_TRUE(probe.OpenSession());
    std::thread stopper([flag] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        flag->Abort();
    });
    auto start = Clock::now();
    EXPECT_EQ(0, probe.GetPageSize(server.Url("/").c_str()));
    EXPECT_LT(SecondsSince(start), 2.0);
    stopper.join();
}

TEST(PageSizeProbe, DownloadPageTextConvertsLineEnds) {
    TestHttpServer server(Always(Resp("Connection: close\r\n", "one\ntwo\r\nthree")));
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    EXPECT_EQ("one\r\ntwo\r\nthree", probe.DownloadPageText(server.Url("/").c_str()));
    EXPECT_EQ(15, probe.GetPageTextLength(server.Url("/").c_str()));
}

TEST(PageTextProbe, ATextProbeReadsTheWholeBodyOrSaysWhyNot) {
    const std::string big(17 * 1024 * 1024, 'x');
    const std::string slow = SlowPage();
    TestHttpServer server([&big, &slow](TestServer::Conn& c, const std::string& head, int) {
        auto is = [&head](const char* path) { return head.rfind(path, 0) == 0; };
        if (is("GET /big "))
            c.Write(Resp("Content-Length: " + std::to_string(big.size()) + "\r\n", big));
        else if (is("GET /slow "))
            c.Write(Resp("Content-Length: " + std::to_string(slow.size()) + "\r\n", slow));
        else if (is("GET /long "))
            c.Write(Resp("Content-Type: text/plain\r\nContent-Length: 41\r\n", std::string(40, 'o') + "!"));
        else if (is("GET /gone "))
            c.Write(TestHttpServer::Response("404 Not Found", "Content-Length: 0\r\n", ""));
        else if (head.find("If-None-Match: \"v1\"\r\n") != std::string::npos)
            c.Write("HTTP/1.1 304 Not Modified\r\nETag: \"v2\"\r\n\r\n");
        else
            c.Write(Resp("ETag: \"v1\"\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n",
                         "one\r\ntwo\n"));
    });
    content::PageReader whole, region, slowRule;
    std::string error;
    ASSERT_TRUE(region.Set("#main", "", error));
    ASSERT_TRUE(slowRule.Set("", "/(o+)+$/", error));
    struct Case {
        const char* name;
        std::string path;
        const content::PageReader* reader;
        PageValidators validators;
        ProbeResult expected;
        const char* text;  // nullptr: none comes with the result
    } cases[] = {
        {"a plain text, its lines", "/t", &whole, {}, ProbeResult::Text(8, content::TextHash("one\ntwo\n")), "one\ntwo\n"},
        {"304: the text the validators stand for", "/t", &whole, {8, "\"v1\"", "", 42},
         ProbeResult::Text(8, 42), nullptr},
        {"larger than 16 MB: a failure, never a cut text", "/big", &whole, {},
         ProbeResult::Failed(ProbeFailure::TooLarge), nullptr},
        {"a region of a page that is no HTML", "/t", &region, {},
         ProbeResult::Failed(ProbeFailure::NoMatch), nullptr},
        {"an HTTP failure", "/gone", &whole, {}, ProbeResult::Failed(ProbeFailure::HttpStatus, 404),
         nullptr},
        {"a page that needs more than its bounds to be read", "/slow", &whole, {},
         ProbeResult::Failed(ProbeFailure::TooComplex), nullptr},
        {"an ignore rule that needs too long on a line", "/long", &slowRule, {}, ProbeResult::SlowRule("/(o+)+$/"),
         nullptr},
    };
    for (Case& c : cases) {
        CWatchThread probe;
        ASSERT_TRUE(probe.OpenSession());
        probe.SetReader(c.reader);
        const ProbeResult r = probe.Probe(server.Url(c.path).c_str(), &c.validators);
        EXPECT_EQ(c.expected, r) << c.name;
        EXPECT_EQ(c.text != nullptr, r.text != nullptr) << c.name;
        if (c.text && r.text) {
            EXPECT_EQ(c.text, *r.text) << c.name;
        }
    }
    EXPECT_EQ("页面过大", ProbeResult::Failed(ProbeFailure::TooLarge).Reason());
    EXPECT_EQ("选取内容未找到", ProbeResult::Failed(ProbeFailure::NoMatch).Reason());
    EXPECT_EQ("忽略规则太慢：/(o+)+$/", ProbeResult::SlowRule("/(o+)+$/").Reason());

    // The program's end gives up a reading under way at once.
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    auto abort = std::make_shared<CRunFlag>("RUN");
    probe.SetAbortFlag(abort);
    probe.SetReader(&whole);
    std::thread exit([abort] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        abort->Abort();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(probe.Probe(server.Url("/slow").c_str(), nullptr).Ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1800));
    exit.join();
}
