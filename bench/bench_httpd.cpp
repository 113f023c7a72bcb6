// A small HTTP server for the benchmarks, in a process of its own so that its CPU time
// is not counted against the client. Prints its port, then serves until killed:
//   /page  200, Content-Length 5000, keep-alive
//   /big   200, Content-Length 209715200 (200 MiB of text with LF line ends)
//   /count 200, the number of other requests served so far
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "TestServer.h"

using namespace sentrel::test;

int main() {
    const std::string page(5000, 'p');
    std::string chunk;
    while (chunk.size() < (1 << 20)) chunk += std::string(99, 'x') + "\n";
    chunk.resize(1 << 20);
    const long long bigSize = 200LL << 20;
    std::atomic<long> served{0};
    TestHttpServer server([&](TestServer::Conn& c, const std::string& head, int) {
        if (head.rfind("GET /count ", 0) == 0) {
            std::string n = std::to_string(served.load());
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(n.size()) + "\r\n\r\n" +
                    n);
            return;
        }
        ++served;
        if (head.rfind("GET /big ", 0) == 0) {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bigSize) + "\r\n\r\n");
            for (long long sent = 0; sent < bigSize; sent += chunk.size())
                if (!c.Write(chunk)) return;
        } else {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + page);
        }
    });
    std::printf("%d\n", server.Port());
    std::fflush(stdout);
    pause();
}
