#pragma once
// What the tests of sentrel-watch share: the program, a profile folder with its list, and a
// site whose pages' sizes a test sets.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "Process.h"
#include "TempDir.h"
#include "TestServer.h"
#include "UrlStore.h"

namespace sentrel {
namespace test {

inline const std::string kWatch = SENTREL_BIN_DIR "/sentrel-watch";

// Pages whose size the test sets; /etag answers a matching If-None-Match with 304.
struct Site {
    std::atomic<int> size{100};
    TestHttpServer server{[this](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /gone ") == 0) {
            c.Write(TestHttpServer::Response("404 Not Found", "Content-Length: 0\r\n", ""));
            return;
        }
        const std::string etag = "\"" + std::to_string(size.load()) + "\"";
        if (head.find("If-None-Match: " + etag + "\r\n") != std::string::npos) {
            c.Write("HTTP/1.1 304 Not Modified\r\nETag: " + etag + "\r\n\r\n");
            return;
        }
        const std::string extra = head.find("GET /etag ") == 0 ? "ETag: " + etag + "\r\n" : "";
        c.Write(TestHttpServer::Response(
            "200 OK", extra + "Content-Length: " + std::to_string(size.load()) + "\r\n",
            std::string(static_cast<std::size_t>(size.load()), 'x')));
    }};
};

struct Profile {
    TempDir home;
    std::vector<std::string> Env() const { return {"SENTREL_HOME=" + home.Path()}; }
    void List(const std::vector<UrlRow>& rows) {
        std::string error;
        ASSERT_TRUE(UrlStore(home.File("user.mdb")).Save(rows, error)) << error;
    }
    std::vector<UrlRow> Stored() const {
        std::vector<UrlRow> rows;
        std::string error;
        UrlStore(home.File("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
        return rows;
    }
    std::string Run(std::vector<std::string> args, int* code) const {
        args.insert(args.begin(), kWatch);
        return RunAndCapture(args, code, Env());
    }
};

}  // namespace test
}  // namespace sentrel
