// A small HTTP server for the benchmarks, in a process of its own so that its CPU time
// is not counted against the client. Prints "PORT TLSPORT CAFILE", then serves until
// killed, keep-alive, on both ports:
//   /page         200, Content-Length 5000
//   /big          200, Content-Length 209715200 (200 MiB of text with LF line ends)
//   /chunked      200, the same 200 MiB chunked, without a length
//   /close        200, the same 200 MiB without a length, ended by closing the connection
//   /small-chunked 200, 5000 bytes chunked, without a length
//   /etag         200, Content-Length 5000 with an ETag; 304 to a matching If-None-Match
//   /count        200, the number of other requests served so far
//   /count304     200, the number of 304 answers so far, and the bytes of one
//   /connections  200, the number of connections accepted so far (both ports)
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel::test;

namespace {

std::string Reply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

int main() {
    const std::string page(5000, 'p');
    std::string chunk;
    while (chunk.size() < (1 << 20)) chunk += std::string(99, 'x') + "\n";
    chunk.resize(1 << 20);
    const long long bigSize = 200LL << 20;
    char hex[32];
    std::snprintf(hex, sizeof hex, "%zx\r\n", chunk.size());
    const std::string chunkFrame = hex + chunk + "\r\n";

    std::atomic<long> served{0}, notModified{0};
    const std::string notModifiedReply = "HTTP/1.1 304 Not Modified\r\nETag: \"e1\"\r\n\r\n";
    TestServer* servers[2] = {nullptr, nullptr};
    auto handler = [&](TestServer::Conn& c, const std::string& head, int) {
        auto is = [&head](const char* path) { return head.rfind(path, 0) == 0; };
        if (is("GET /count ")) {
            c.Write(Reply(std::to_string(served.load())));
            return;
        }
        if (is("GET /count304 ")) {
            c.Write(Reply(std::to_string(notModified.load()) + " " +
                          std::to_string(notModifiedReply.size())));
            return;
        }
        if (is("GET /connections ")) {
            int n = 0;
            for (TestServer* s : servers)
                if (s) n += s->Connections();
            c.Write(Reply(std::to_string(n)));
            return;
        }
        ++served;
        if (is("GET /big ")) {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bigSize) + "\r\n\r\n");
            for (long long sent = 0; sent < bigSize; sent += chunk.size())
                if (!c.Write(chunk)) return;
        } else if (is("GET /chunked ")) {
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            for (long long sent = 0; sent < bigSize; sent += chunk.size())
                if (!c.Write(chunkFrame)) return;
            c.Write("0\r\n\r\n");
        } else if (is("GET /small-chunked ")) {
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\n" + page +
                    "\r\n0\r\n\r\n");
        } else if (is("GET /etag")) {
            if (head.find("If-None-Match: \"e1\"\r\n") != std::string::npos) {
                ++notModified;
                c.Write(notModifiedReply);
            } else {
                c.Write("HTTP/1.1 200 OK\r\nETag: \"e1\"\r\nContent-Length: 5000\r\n\r\n" + page);
            }
        } else if (is("GET /close ")) {
            c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            for (long long sent = 0; sent < bigSize; sent += chunk.size())
                if (!c.Write(chunk)) return;
            c.Close();
        } else {
            c.Write(Reply(page));
        }
    };
    TempDir dir;
    TestCerts certs(dir.Path());
    TestHttpServer plain(handler);
    TestHttpServer tls(handler, certs.ServerContext(TestCerts::kValid));
    servers[0] = plain.Server();
    servers[1] = tls.Server();
    std::printf("%d %d %s\n", plain.Port(), tls.Port(), certs.CaFile().c_str());
    std::fflush(stdout);
    pause();
}
