#pragma once
// A proxy on 127.0.0.1 for tests: HTTP (plain requests and CONNECT tunnels) or SOCKS5,
// with or without credentials, or one that refuses every tunnel. It only ever connects to
// 127.0.0.1, and counts what it carried, so that a test can tell that a page was reached
// through it and only through it. POSIX only.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sentrel::test {

class TestProxy {
  public:
    enum class Kind { Http, Socks5 };
    struct Options {
        Kind kind = Kind::Http;
        std::string user, password;  ///< asked for when user is given
        int refuseTunnels = 0;       ///< HTTP: every CONNECT answered with this status
    };
    explicit TestProxy(Options options);
    ~TestProxy();
    TestProxy(const TestProxy&) = delete;
    TestProxy& operator=(const TestProxy&) = delete;

    int Port() const { return m_nPort; }
    /// The proxy's URL, with `credentials` ("user:password") when given.
    std::string Url(const std::string& scheme, const std::string& credentials = "") const;
    /// Requests and tunnels it carried on to a site.
    int Carried() const { return m_nCarried.load(); }
    /// The heads of the plain requests it passed on, as the site got them.
    std::vector<std::string> Heads() const;

  private:
    void AcceptLoop();
    void Serve(int fd);
    void ServeHttp(int fd);
    void ServeSocks(int fd);
    void Relay(int a, int b, const std::string& toB);

    Options m_options;
    int m_listenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nCarried{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::vector<int> m_clients;  // connections being served: ended at the proxy's end
    std::vector<std::string> m_heads;
};

}  // namespace sentrel::test
