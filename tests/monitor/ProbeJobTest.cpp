// The probe's requests, decided by ProbeJob, against servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestServer.h"
#include "WatchThread.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::string Page(const std::string& headers) {
    return TestHttpServer::Response("200 OK", headers + "Content-Length: 5\r\n", "hello");
}

bool AnyHas(const std::vector<std::string>& requests, const std::string& text) {
    for (const std::string& r : requests)
        if (r.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(ProbeJob, ValidatorsGoBackOnlyAsTheyCameAndOnlyToTheUrlThatGaveThem) {
    // Another host that a redirect leads to, with an ETag of its own.
    TestHttpServer other(
        [](TestServer::Conn& c, const std::string&, int) { c.Write(Page("ETag: \"other\"\r\n")); });
    TestHttpServer site([&](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /moved ") == 0)
            c.Write("HTTP/1.1 302 Found\r\nLocation: " + other.Url("/x") +
                    "\r\nContent-Length: 0\r\n\r\n");
        else if (head.find("GET /evil ") == 0)
            c.Write(
                Page("ETag: \"x\"\rX-Evil: 1\r\nLast-Modified: a\x01"
                     "b\r\n"));
        else
            c.Write(Page("ETag: \"ok\"\r\n"));
    });
    struct Case {
        const char* path;
        PageValidators stored;  // what an older run left in the store
    };
    const Case cases[] = {
        {"/evil", {}},
        {"/moved", {}},
        {"/moved", {5, "\"mine\"", ""}},  // sent to its own URL, never on through the redirect
        {"/plain", {5, "\"a\"\r\nX-Evil: 1", ""}},
    };
    for (const Case& k : cases) {
        CWatchThread probe;
        ASSERT_TRUE(probe.OpenSession());
        PageValidators v = k.stored;
        const bool evil = std::string(k.path) == "/evil";
        for (int i = 0; i < 2; ++i) {
            const ProbeResult r = probe.Probe(site.Url(k.path).c_str(), &v);
            // Newer libcurl refuses a header with a bare CR outright: no size, no harm.
            if (!evil || r.Ok()) EXPECT_EQ(ProbeResult::Size(5), r) << k.path;
        }
        if (std::string(k.path) != "/plain") EXPECT_EQ("", v.etag + v.lastModified) << k.path;
    }
    const auto requests = site.Requests();
    EXPECT_FALSE(AnyHas(requests, "X-Evil"));
    EXPECT_FALSE(AnyHas(requests, "If-Modified-Since"));
    EXPECT_EQ(1, std::count_if(requests.begin(), requests.end(),
                               [](const std::string& r) {
                                   return r.find("GET /moved ") == 0 &&
                                          r.find("If-None-Match: \"mine\"") != r.npos;
                               }))
        << "the stored validators of /moved go to /moved itself, once";
    EXPECT_FALSE(AnyHas(other.Requests(), "If-None-Match"));
    EXPECT_EQ(4, other.RequestCount());
}
