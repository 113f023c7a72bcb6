// The probe's requests, decided by ProbeJob, against servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/CurlApi.h"
#include "probe/ProbeJob.h"
#include "probe/WatchThread.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

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
            if (!evil || r.Ok()) {
                EXPECT_EQ(ProbeResult::Size(5), r) << k.path;
            }
        }
        if (std::string(k.path) != "/plain") {
            EXPECT_EQ("", v.etag + v.lastModified) << k.path;
        }
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

namespace {
// Drives one ProbeJob as a watcher does, without its waits: the steps it asked for, as
// letters (P perform, W wait, R read, D done), and its result.
struct Drive {
    std::string steps;
    ProbeResult result;
};
Drive DriveJob(const std::string& url, ProbeJob::Kind kind, std::chrono::milliseconds budget,
               const PageValidators* validators) {
    curl_slist* headers = MakeProbeHeaders();
    CURL* easy = Curl()->easy_init();
    ConfigureProbeHandle(easy, headers, {});
    Drive d;
    {
        ProbeJob job(easy, headers);
        ProbeStep step =
            job.Begin(url, kind, std::chrono::steady_clock::now() + budget, validators);
        for (; step != ProbeStep::Done && d.steps.size() < 40;) {
            if (step == ProbeStep::Perform) {
                d.steps += 'P';
                step = job.Performed(Curl()->easy_perform(easy));
            } else if (step == ProbeStep::Read) {
                d.steps += 'R';
                step = job.Read({});
            } else {
                d.steps += 'W';
                step = job.Waited();
            }
        }
        d.steps += 'D';
        d.result = job.Result();
    }
    Curl()->easy_cleanup(easy);
    Curl()->slist_free_all(headers);
    return d;
}
}  // namespace

TEST(ProbeJob, EachAnswerLeadsToItsNextStep) {
    TestHttpServer site([](TestServer::Conn& c, const std::string& head, int) {
        auto is = [&](const char* path) {
            return head.find(std::string("GET ") + path + " ") == 0;
        };
        if (is("/sized")) {
            c.Write(Page(""));
        } else if (is("/unsized")) {
            c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhello!");
            c.Close();
        } else if (is("/moved")) {
            c.Write("HTTP/1.1 302 Found\r\nLocation: /sized\r\nContent-Length: 0\r\n\r\n");
        } else if (is("/loop")) {
            c.Write("HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n");
        } else if (is("/same")) {
            c.Write(head.find("If-None-Match: \"v\"") != std::string::npos
                        ? "HTTP/1.1 304 Not Modified\r\nETag: \"v\"\r\n\r\n"
                        : Page("ETag: \"v\"\r\n"));
        } else {
            c.Write(TestHttpServer::Response("404 Not Found", "", ""));
        }
    });
    RefusingPort refusing;
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/";
    const PageValidators stored{7, "\"v\"", ""};
    using K = ProbeJob::Kind;
    struct Case {
        std::string url;
        K kind;
        const PageValidators* validators;
        std::chrono::milliseconds budget;
        std::string steps;
        ProbeResult result;
    };
    const Case cases[] = {
        {site.Url("/sized"), K::Size, nullptr, 10s, "PD", ProbeResult::Size(5)},
        // No length: a second request measures the body.
        {site.Url("/unsized"), K::Size, nullptr, 10s, "PPD", ProbeResult::Size(6)},
        {site.Url("/unsized"), K::Body, nullptr, 10s, "PD", ProbeResult::Size(6)},
        {site.Url("/moved"), K::Size, nullptr, 10s, "PPD", ProbeResult::Size(5)},
        {site.Url("/loop"), K::Size, nullptr, 10s, std::string(probe::kMaxRedirects + 1, 'P') + "D",
         ProbeResult::Failed(NetFailure::TooManyRedirects)},
        {site.Url("/gone"), K::Size, nullptr, 10s, "PD",
         ProbeResult::Failed(ProbeFailure::HttpStatus, 404)},
        // Not modified: the size the validators stood for.
        {site.Url("/same"), K::Size, &stored, 10s, "PD", ProbeResult::Size(7)},
        {site.Url("/same"), K::Body, &stored, 10s, "PD", ProbeResult::Size(5)},
        // A refused connection is tried once more after the back-off, when time allows.
        {refused, K::Size, nullptr, 10s, "PWPD", ProbeResult::Failed(NetFailure::Refused)},
        {refused, K::Size, nullptr, 500ms, "PD", ProbeResult::Failed(NetFailure::Refused)},
        {"ftp://127.0.0.1/", K::Size, nullptr, 10s, "D",
         ProbeResult::Failed(ProbeFailure::Network)},
        {site.Url("/sized"), K::Size, nullptr, 0ms, "D",
         ProbeResult::Failed(NetFailure::Timeout)},
    };
    for (const Case& k : cases) {
        const Drive d = DriveJob(k.url, k.kind, k.budget, k.validators);
        EXPECT_EQ(k.steps, d.steps) << k.url;
        EXPECT_EQ(k.result, d.result) << k.url << " " << d.result.nSize;
    }
}
