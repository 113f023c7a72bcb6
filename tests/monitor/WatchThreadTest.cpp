// The page size probe against real HTTP and HTTPS servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "TempDir.h"
#include "TestServer.h"
#include "WatchThread.h"

using namespace sentrel;
using namespace sentrel::test;
using Clock = std::chrono::steady_clock;

namespace {

std::string Resp(const std::string& headers, const std::string& body) {
    return TestHttpServer::Response("200 OK", headers, body);
}

// Serves the same response to every request and closes the connection after it.
TestHttpServer::Handler Always(const std::string& response) {
    return [response](TestServer::Conn& c, const std::string&, int) {
        c.Write(response);
        c.Close();
    };
}

int Probe(const std::string& url) {
    CWatchThread probe;
    EXPECT_TRUE(probe.OpenSession());
    return probe.GetPageSize(url.c_str());
}

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

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

static ProbeResult ProbeOnce(const std::string& url) {
    CWatchThread probe;
    EXPECT_TRUE(probe.OpenSession());
    return probe.Probe(url.c_str());
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
        {loop.Url("/"), ProbeResult::Failed(ProbeFailure::TooManyRedirects)},
        {refusedUrl, ProbeResult::Failed(ProbeFailure::Refused)},
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
    EXPECT_EQ(ProbeResult::Failed(ProbeFailure::Timeout), ProbeOnce(server.Url("/")));
    double took = SecondsSince(start);
    EXPECT_GE(took, 4.5);
    EXPECT_LT(took, 8.0);
}

TEST(PageSizeProbe, TricklingServerIsCutByTheRequestCap) {
    // Two bytes a second keep the transfer above the stall limit; only the cap ends it.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        while (c.Write("..") && c.Sleep(std::chrono::milliseconds(500))) {
        }
    });
    CWatchThread probe;
    probe.SetRequestCap(3);
    ASSERT_TRUE(probe.OpenSession());
    auto start = Clock::now();
    EXPECT_EQ(0, probe.GetPageSize(server.Url("/").c_str()));
    EXPECT_LT(SecondsSince(start), 5.0);
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

#ifndef _WIN32  // the TLS test servers are OpenSSL ones; Windows probes a Linux-side server
class HttpsProbe : public ::testing::Test {
  protected:
    void SetUp() override {
        m_certs = std::make_unique<TestCerts>(m_dir.Path());
        SetEnv("CURL_CA_BUNDLE", m_certs->CaFile().c_str());
    }
    void TearDown() override { UnsetEnv("CURL_CA_BUNDLE"); }
    int ProbeWith(TestCerts::Kind kind, const std::string& scheme) {
        TestHttpServer server(Always(Resp("Content-Length: 2048\r\n", "")),
                              m_certs->ServerContext(kind));
        return Probe(scheme + "://127.0.0.1:" + std::to_string(server.Port()) + "/");
    }
    TempDir m_dir;
    std::unique_ptr<TestCerts> m_certs;
};

TEST_F(HttpsProbe, TrustedCertificateIsAcceptedWhateverItsName) {
    EXPECT_EQ(2048, ProbeWith(TestCerts::kValid, "https"));
    EXPECT_EQ(2048, ProbeWith(TestCerts::kValid, "HTTPS"));
    EXPECT_EQ(2048, ProbeWith(TestCerts::kNameMismatch, "https"));
}

TEST_F(HttpsProbe, ExpiredOrUntrustedCertificateIsRefused) {
    for (TestCerts::Kind kind : {TestCerts::kExpired, TestCerts::kUntrusted}) {
        TestHttpServer server(Always(Resp("Content-Length: 2048\r\n", "")),
                              m_certs->ServerContext(kind));
        EXPECT_EQ(ProbeResult::Failed(ProbeFailure::Tls), ProbeOnce(server.Url("/", true)));
    }
}

TEST_F(HttpsProbe, ASessionResumesItsTlsSessionWhenTheConnectionIsNew) {
    // A body too large to read: each probe needs a new connection, but not a full handshake.
    TestHttpServer server(Always(Resp("Content-Length: 10000000\r\n", "")),
                          m_certs->ServerContext(TestCerts::kValid));
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(10000000, probe.GetPageSize(server.Url("/", true).c_str()));
    EXPECT_EQ(3, server.Connections());
    EXPECT_EQ(2, server.Resumed());
}

#endif

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

TEST(PageSizeProbe, ProbesOfASmallPageKeepOneConnection) {
    // A kept-alive server: the small body is read, so the next probe reuses the connection.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write(Resp("Content-Length: 5\r\n", "hello"));
    });
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(5, probe.GetPageSize(server.Url("/").c_str()));
    EXPECT_EQ(3, server.RequestCount()) << "the same requests as ever";
    EXPECT_EQ(1, server.Connections());
}

TEST(PageSizeProbe, ALargeOrLateBodyIsNotWaitedFor) {
    // A body beyond the small-body bound, and a small one that comes a second late: the
    // length answers at once, and the connection is dropped rather than drained.
    struct Case {
        const char* name;
        std::string headers;
        std::chrono::milliseconds delay;
    } cases[] = {
        {"large", "Content-Length: 10000000\r\n", std::chrono::milliseconds(0)},
        {"late", "Content-Length: 100\r\n", std::chrono::milliseconds(1000)},
    };
    for (const Case& k : cases) {
        TestHttpServer server([&k](TestServer::Conn& c, const std::string&, int) {
            c.Write(Resp(k.headers, ""));
            if (!c.Sleep(k.delay)) return;
            while (c.Write(std::string(1000, 'x')) && c.Sleep(std::chrono::milliseconds(100))) {
            }
        });
        CWatchThread probe;
        ASSERT_TRUE(probe.OpenSession());
        for (int i = 0; i < 2; ++i) {
            auto start = Clock::now();
            EXPECT_LT(0, probe.GetPageSize(server.Url("/").c_str())) << k.name;
            EXPECT_LT(SecondsSince(start), 0.3) << k.name;
        }
        EXPECT_EQ(2, server.Connections()) << k.name;
    }
}

TEST(PageSizeProbe, TheCapCoversTheWholeProbeRedirectsIncluded) {
    // Every hop answers after 0.8 s and redirects again: five hops would take 4 s.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int index) {
        if (!c.Sleep(std::chrono::milliseconds(800))) return;
        c.Write(TestHttpServer::Response(
            "302 Found", "Location: /hop" + std::to_string(index + 1) + "\r\nContent-Length: 0\r\n",
            ""));
    });
    CWatchThread probe;
    probe.SetRequestCap(2);
    ASSERT_TRUE(probe.OpenSession());
    auto start = Clock::now();
    EXPECT_EQ(0, probe.GetPageSize(server.Url("/").c_str()));
    EXPECT_LT(SecondsSince(start), 3.0);
}

TEST(PageSizeProbe, CookiesOfASessionStayBounded) {
    // A page that sets a new cookie name on every response.
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int index) {
        c.Write(Resp("Set-Cookie: c" + std::to_string(index) + "=" + std::string(100, 'v') +
                         "\r\nContent-Length: 5\r\n",
                     "hello"));
    });
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    int most = 0;
    for (int i = 0; i < 250; ++i) {
        ASSERT_EQ(5, probe.GetPageSize(server.Url("/").c_str()));
        most = std::max(most, probe.CookieCount());
    }
    EXPECT_LE(most, CWatchThread::kMaxCookies + 1);
    EXPECT_GT(most, 10) << "cookies are still kept within the bound";
    const std::string last = server.Requests().back();
    EXPECT_LT(last.size(), 20000u) << "requests do not carry hundreds of cookies";
}

TEST(PageSizeProbe, BytesThatArriveOnAKeptConnectionBetweenProbesAreNeverTheNextAnswer) {
    // After its answer the server sends more: a whole second response, a late body after
    // a 304-like empty answer, or a stray line end. Each probe must see only its own answer.
    struct Case {
        const char* name;
        std::string stray;
    } cases[] = {
        {"a second response", "HTTP/1.1 200 OK\r\nContent-Length: 77777\r\n\r\n"},
        {"a late body", "late body bytes"},
        {"a stray CRLF", "\r\n"},
    };
    for (const Case& k : cases) {
        TestHttpServer server([&k](TestServer::Conn& c, const std::string&, int) {
            c.Write(Resp("Content-Length: 10\r\n", "0123456789"));
            if (c.Sleep(std::chrono::milliseconds(5))) c.Write(k.stray);
        });
        CWatchThread probe;
        ASSERT_TRUE(probe.OpenSession());
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ProbeResult::Size(10), probe.Probe(server.Url("/").c_str()))
                << k.name << ", probe " << i;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the stray arrives
        }
    }
}

TEST(PageSizeProbe, ValidatorsMakeTheProbeConditionalAndA304IsTheSameSize) {
    // Version 1 carries an ETag and a Last-Modified; asked with them, the server says 304
    // until the page changes. A page without validators is asked plainly every time.
    std::atomic<int> version{1};
    TestHttpServer server([&](TestServer::Conn& c, const std::string& head, int) {
        const std::string etag = "\"v" + std::to_string(version.load()) + "\"";
        if (head.find("/plain") != std::string::npos)
            c.Write(Resp("Content-Length: 3\r\n", "abc"));
        else if (head.find("If-None-Match: " + etag) != std::string::npos)
            c.Write("HTTP/1.1 304 Not Modified\r\nETag: " + etag + "\r\n\r\n");
        else
            c.Write(Resp("ETag: " + etag + "\r\nLast-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\n" +
                             "Content-Length: " + std::to_string(1000 * version.load()) + "\r\n",
                         std::string(1000 * version.load(), 'x')));
    });
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    PageValidators v;
    EXPECT_EQ(ProbeResult::Size(1000), probe.Probe(server.Url("/page").c_str(), &v));
    EXPECT_EQ((PageValidators{1000, "\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT"}), v);
    EXPECT_EQ(ProbeResult::Size(1000), probe.Probe(server.Url("/page").c_str(), &v));
    version = 2;
    EXPECT_EQ(ProbeResult::Size(2000), probe.Probe(server.Url("/page").c_str(), &v));
    EXPECT_EQ("\"v2\"", v.etag);
    PageValidators none;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ProbeResult::Size(3), probe.Probe(server.Url("/plain").c_str(), &none));

    const auto requests = server.Requests();
    ASSERT_EQ(5u, requests.size());
    EXPECT_EQ(std::string::npos, requests[0].find("If-")) << "a first probe goes out as ever";
    EXPECT_NE(std::string::npos, requests[1].find("If-None-Match: \"v1\"\r\n"));
    EXPECT_NE(std::string::npos,
              requests[1].find("If-Modified-Since: Mon, 07 Dec 2026 10:00:00 GMT\r\n"));
    EXPECT_EQ(std::string::npos, requests[4].find("If-"));
    EXPECT_EQ(1, server.Connections()) << "a 304 keeps its connection";
}

TEST(PageSizeProbe, AChunkedFirstResponseIsDrainedSoTheSecondRequestReusesItsConnection) {
    TestHttpServer server([](TestServer::Conn& c, const std::string&, int) {
        c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    });
    CWatchThread probe;
    ASSERT_TRUE(probe.OpenSession());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(5, probe.GetPageSize(server.Url("/").c_str()));
    EXPECT_EQ(6, server.RequestCount()) << "headers, then the body, as ever";
    EXPECT_EQ(1, server.Connections());
}
