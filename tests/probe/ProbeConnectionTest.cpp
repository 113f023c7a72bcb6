// The probe's connections against real HTTP and HTTPS servers on 127.0.0.1: TLS, kept
// connections, cookies and validators.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ProbeServers.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

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
        EXPECT_EQ(ProbeResult::Failed(NetFailure::Certificate), ProbeOnce(server.Url("/", true)));
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
        std::atomic<int> strays{0};
        TestHttpServer server([&k, &strays](TestServer::Conn& c, const std::string&, int) {
            c.Write(Resp("Content-Length: 10\r\n", "0123456789"));
            if (c.Sleep(std::chrono::milliseconds(5))) c.Write(k.stray);
            ++strays;
        });
        CWatchThread probe;
        ASSERT_TRUE(probe.OpenSession());
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ProbeResult::Size(10), probe.Probe(server.Url("/").c_str()))
                << k.name << ", probe " << i;
            // The stray is sent before the next probe, however busy the machine: once it is
            // written on loopback it waits on the kept connection.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (strays.load() <= i && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_GT(strays.load(), i) << k.name;
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
