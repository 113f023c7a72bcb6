// sentrel-probe prints what the watcher's probe measures, one line per URL.
#include <gtest/gtest.h>

#include <algorithm>

#include "Process.h"
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
