#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// OpenSSL's types, declared as OpenSSL does; TLS servers exist on Linux only.
typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace sentrel::test {

/// A socket of the system: an int on POSIX, a SOCKET (pointer-sized) on Windows.
using NativeSocket = std::intptr_t;

/// A TCP server on 127.0.0.1 (a free port), plain or TLS, running one scripted session
/// per connection on a thread of its own. Everything a client sends is recorded.
class TestServer {
  public:
    class Conn {
      public:
        bool Write(const std::string& bytes);
        /// Reads up to and including `delim`; false when the peer closed first.
        bool ReadUntil(const std::string& delim, std::string& out);
        bool ReadLine(std::string& line) { return ReadUntil("\n", line); }
        /// Reads exactly `n` bytes (a request's body); false when the peer closed first.
        bool ReadBytes(std::size_t n, std::string& out);
        /// Reads whatever arrives until the peer closes.
        std::string ReadToEnd();
        void Close();
        bool IsClosed() const { return m_bClosed; }
        /// Sleeps, returning early (false) when the server stops.
        bool Sleep(std::chrono::milliseconds ms);

      private:
        friend class TestServer;
        int ReadSome(char* buf, int n);
        TestServer* m_pServer = nullptr;
        NativeSocket m_fd = -1;
        SSL* m_ssl = nullptr;
        bool m_bClosed = false;
        std::string m_pending;
        std::string m_received;
    };
    using Session = std::function<void(Conn&)>;

    explicit TestServer(Session session, SSL_CTX* tls = nullptr, int port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return m_nPort; }
    bool Listening() const { return m_listenFd != -1; }
    int Connections() const { return m_nConnections.load(); }
    /// TLS connections that resumed an earlier session instead of a full handshake.
    int Resumed() const { return m_nResumed.load(); }
    /// Every byte each finished connection sent, in the order the connections ended.
    std::vector<std::string> Transcripts() const;
    void Stop();

  private:
    void AcceptLoop();
    void Serve(NativeSocket fd);

    Session m_session;
    SSL_CTX* m_tls;
    NativeSocket m_listenFd = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<int> m_nConnections{0};
    std::atomic<int> m_nResumed{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopCv;
    std::vector<std::thread> m_threads;
    std::vector<NativeSocket> m_fds;
    std::vector<std::string> m_transcripts;
};

/// A loopback port that refuses every connection: bound, never listening. Held for the
/// object's life, so no other test's server can take it meanwhile (a port that was merely
/// closed can be handed out again at once).
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return m_nPort; }

  private:
    NativeSocket m_socket = -1;
    int m_nPort = 0;
};

/// An HTTP/1.1 server: calls the handler for every request head (keep-alive aware).
class TestHttpServer {
  public:
    using Handler = std::function<void(TestServer::Conn&, const std::string& head, int index)>;
    explicit TestHttpServer(Handler handler, SSL_CTX* tls = nullptr);

    int Port() const { return m_server.Port(); }
    std::string Url(const std::string& path, bool https = false) const;
    std::vector<std::string> Requests() const;
    int RequestCount() const;
    int Connections() const { return m_server.Connections(); }
    int Resumed() const { return m_server.Resumed(); }
    TestServer* Server() { return &m_server; }
    void Stop() { m_server.Stop(); }

    /// A whole response with the given status line, extra headers and body.
    static std::string Response(const std::string& status, const std::string& headers,
                                const std::string& body);

  private:
    Handler m_handler;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    TestServer m_server;
};

/// Certificates made at test time: a CA, and server certificates signed by it
/// (valid for 127.0.0.1, for another name, expired) or self-signed (untrusted).
class TestCerts {
  public:
    enum Kind { kValid, kNameMismatch, kExpired, kUntrusted };
    explicit TestCerts(const std::string& dir);
    ~TestCerts();
    /// PEM file of the CA, for CURL_CA_BUNDLE.
    const std::string& CaFile() const { return m_caFile; }
    /// A server context presenting the certificate of this kind.
    SSL_CTX* ServerContext(Kind kind) const { return m_ctx[kind]; }

  private:
    std::string m_caFile;
    SSL_CTX* m_ctx[4] = {};
};

}  // namespace sentrel::test
