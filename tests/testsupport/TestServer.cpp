#include "testsupport/TestServer.h"

#include <signal.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <stdexcept>

namespace sentrel::test {

namespace {
#ifdef _WIN32
// Winsock wants starting once per process before any socket is made.
struct WinsockUp {
    WinsockUp() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
} g_winsock;
constexpr int kShutBoth = SD_BOTH;
constexpr int kNoSignal = 0;
void CloseNative(NativeSocket s) {
    closesocket(static_cast<SOCKET>(s));
}
NativeSocket OpenListener() {
    SOCKET s =
        WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return s == INVALID_SOCKET ? -1 : static_cast<NativeSocket>(s);
}
NativeSocket AcceptOne(NativeSocket l) {
    SOCKET s = accept(static_cast<SOCKET>(l), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<NativeSocket>(s);
}
#else
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kNoSignal = MSG_NOSIGNAL;
void CloseNative(NativeSocket s) {
    close(static_cast<int>(s));
}
NativeSocket OpenListener() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
NativeSocket AcceptOne(NativeSocket l) {
    return accept4(static_cast<int>(l), nullptr, nullptr, SOCK_CLOEXEC);
}
#endif
// Plain TCP calls on the system's socket type.
int Recv(NativeSocket s, char* buf, int n) {
    return static_cast<int>(recv(s, buf, n, 0));
}
int Send(NativeSocket s, const char* buf, std::size_t n) {
    return static_cast<int>(send(s, buf, static_cast<int>(n), kNoSignal));
}
void Shut(NativeSocket s) {
    shutdown(s, kShutBoth);
}
#ifdef _WIN32
int SslRead(SSL*, char*, int) {
    return -1;
}
int SslWrite(SSL*, const char*, int) {
    return -1;
}
void SslShutdown(SSL*) {}
#else
int SslRead(SSL* ssl, char* buf, int n) {
    return SSL_read(ssl, buf, n);
}
int SslWrite(SSL* ssl, const char* buf, int n) {
    return SSL_write(ssl, buf, n);
}
void SslShutdown(SSL* ssl) {
    SSL_shutdown(ssl);
}
#endif
}  // namespace

// ---- Conn ----

int TestServer::Conn::ReadSome(char* buf, int n) {
    if (m_bClosed) return 0;
    int r = m_ssl ? SslRead(m_ssl, buf, n) : Recv(m_fd, buf, n);
    return r < 0 ? 0 : r;
}

bool TestServer::Conn::ReadUntil(const std::string& delim, std::string& out) {
    for (;;) {
        std::size_t pos = m_pending.find(delim);
        if (pos != std::string::npos) {
            out = m_pending.substr(0, pos + delim.size());
            m_pending.erase(0, pos + delim.size());
            return true;
        }
        char buf[4096];
        int r = ReadSome(buf, sizeof buf);
        if (r <= 0) return false;
        m_pending.append(buf, static_cast<std::size_t>(r));
        m_received.append(buf, static_cast<std::size_t>(r));
    }
}

bool TestServer::Conn::ReadBytes(std::size_t n, std::string& out) {
    while (m_pending.size() < n) {
        char buf[4096];
        const int r = ReadSome(buf, sizeof buf);
        if (r <= 0) return false;
        m_pending.append(buf, static_cast<std::size_t>(r));
        m_received.append(buf, static_cast<std::size_t>(r));
    }
    out = m_pending.substr(0, n);
    m_pending.erase(0, n);
    return true;
}

std::string TestServer::Conn::ReadToEnd() {
    char buf[4096];
    for (int r; (r = ReadSome(buf, sizeof buf)) > 0;) {
        m_pending.append(buf, static_cast<std::size_t>(r));
        m_received.append(buf, static_cast<std::size_t>(r));
    }
    std::string all;
    all.swap(m_pending);
    return all;
}

bool TestServer::Conn::Write(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size() && !m_bClosed) {
        int w = m_ssl ? SslWrite(m_ssl, bytes.data() + off, static_cast<int>(bytes.size() - off))
                      : Send(m_fd, bytes.data() + off, bytes.size() - off);
        if (w <= 0) return false;
        off += static_cast<std::size_t>(w);
    }
    return off == bytes.size();
}

void TestServer::Conn::Close() {
    if (m_bClosed) return;
    if (m_ssl) SslShutdown(m_ssl);
    Shut(m_fd);
    m_bClosed = true;
}

bool TestServer::Conn::Sleep(std::chrono::milliseconds ms) {
    std::unique_lock<std::mutex> lock(m_pServer->m_mutex);
    return !m_pServer->m_stopCv.wait_for(lock, ms,
                                         [this] { return m_pServer->m_bStopping.load(); });
}

// ---- TestServer ----

TestServer::TestServer(Session session, SSL_CTX* tls, int port)
    : m_session(std::move(session)), m_tls(tls) {
    NativeSocket fd = OpenListener();
#ifndef _WIN32
    // (On Windows the option would let another socket take the port from under us.)
    int one = 1;
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 128) != 0) {
        CloseNative(fd);
        if (port != 0) return;  // a fixed port may be taken: the caller checks Listening()
        throw std::runtime_error("test server: cannot listen");
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_nPort = ntohs(addr.sin_port);
    m_listenFd = fd;
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer() {
    Stop();
}

void TestServer::Stop() {
    if (m_bStopping.exchange(true)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopCv.notify_all();
        for (NativeSocket fd : m_fds) Shut(fd);
    }
    if (m_listenFd != -1) {
        Shut(m_listenFd);
#ifdef _WIN32
        CloseNative(m_listenFd);  // shutdown does not wake a blocked accept here
#endif
    }
    if (m_acceptThread.joinable()) m_acceptThread.join();
#ifndef _WIN32
    if (m_listenFd != -1) CloseNative(m_listenFd);
#endif
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads) t.join();
}

void TestServer::AcceptLoop() {
    while (!m_bStopping) {
        NativeSocket fd = AcceptOne(m_listenFd);
        if (fd == -1) {
            if (m_bStopping) return;
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStopping) {
            CloseNative(fd);
            return;
        }
        ++m_nConnections;
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] { Serve(fd); });
    }
}

void TestServer::Serve(NativeSocket fd) {
    Conn conn;
    conn.m_pServer = this;
    conn.m_fd = fd;
    bool ready = true;
#ifndef _WIN32
    if (m_tls) {
        conn.m_ssl = SSL_new(m_tls);
        SSL_set_fd(conn.m_ssl, fd);
        ready = SSL_accept(conn.m_ssl) == 1;  // fails when the client refuses the certificate
        if (ready && SSL_session_reused(conn.m_ssl)) ++m_nResumed;
    }
#endif
    if (ready) m_session(conn);
    if (!conn.m_bClosed) conn.ReadToEnd();  // let the client finish before closing
#ifndef _WIN32
    if (conn.m_ssl) SSL_free(conn.m_ssl);
#endif
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_fds.begin(); it != m_fds.end(); ++it)
        if (*it == fd) {
            m_fds.erase(it);
            break;
        }
    CloseNative(fd);
    m_transcripts.push_back(conn.m_received);
}

std::vector<std::string> TestServer::Transcripts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transcripts;
}

// ---- RefusingPort ----

RefusingPort::RefusingPort() : m_socket(OpenListener()) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_socket == -1 || bind(m_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("refusing port: cannot bind");
    socklen_t len = sizeof addr;
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&addr), &len);
    m_nPort = ntohs(addr.sin_port);
}

RefusingPort::~RefusingPort() {
    if (m_socket != -1) CloseNative(m_socket);
}

// ---- TestHttpServer ----

TestHttpServer::TestHttpServer(Handler handler, SSL_CTX* tls)
    : m_handler(std::move(handler)),
      m_server(
          [this](TestServer::Conn& conn) {
              std::string head;
              while (!conn.IsClosed() && conn.ReadUntil("\r\n\r\n", head)) {
                  int index;
                  {
                      std::lock_guard<std::mutex> lock(m_mutex);
                      index = static_cast<int>(m_requests.size());
                      m_requests.push_back(head);
                  }
                  m_handler(conn, head, index);
              }
          },
          tls) {}

std::string TestHttpServer::Url(const std::string& path, bool https) const {
    return std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(Port()) + path;
}

std::vector<std::string> TestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int TestHttpServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

std::string TestHttpServer::Response(const std::string& status, const std::string& headers,
                                     const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n" + body;
}

}  // namespace sentrel::test
