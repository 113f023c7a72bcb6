#pragma once
// What the probe tests share: canned answers and one-off probes of a URL.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "probe/WatchThread.h"
#include "testsupport/TestServer.h"

namespace sentrel::test {

using Clock = std::chrono::steady_clock;

inline std::string Resp(const std::string& headers, const std::string& body) {
    return TestHttpServer::Response("200 OK", headers, body);
}

/// Serves the same response to every request and closes the connection after it.
inline TestHttpServer::Handler Always(const std::string& response) {
    return [response](TestServer::Conn& c, const std::string&, int) {
        c.Write(response);
        c.Close();
    };
}

/// The page size one new session gives.
inline int Probe(const std::string& url) {
    CWatchThread probe;
    EXPECT_TRUE(probe.OpenSession());
    return probe.GetPageSize(url.c_str());
}

/// The result one new session gives.
inline ProbeResult ProbeOnce(const std::string& url) {
    CWatchThread probe;
    EXPECT_TRUE(probe.OpenSession());
    return probe.Probe(url.c_str());
}

inline double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace sentrel::test
