#include "testsupport/TestProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sentrel::test {

namespace {

std::string Base64(const std::string& in) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
        out += k[(v >> 18) & 63];
        out += k[(v >> 12) & 63];
        out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? k[v & 63] : '=';
    }
    return out;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until `delim`, keeping what follows it in `pending`.
bool ReadUntil(int fd, const std::string& delim, std::string& pending, std::string& out) {
    for (;;) {
        const std::size_t at = pending.find(delim);
        if (at != std::string::npos) {
            out = pending.substr(0, at + delim.size());
            pending.erase(0, at + delim.size());
            return true;
        }
        char buf[4096];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending.append(buf, static_cast<std::size_t>(n));
    }
}

bool ReadExactly(int fd, std::size_t n, std::string& pending, std::string& out) {
    while (pending.size() < n) {
        char buf[512];
        const ssize_t got = recv(fd, buf, sizeof buf, 0);
        if (got <= 0) return false;
        pending.append(buf, static_cast<std::size_t>(got));
    }
    out = pending.substr(0, n);
    pending.erase(0, n);
    return true;
}

// A connection to a port of 127.0.0.1; -1 when refused. The stand-in goes nowhere else.
int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

// "127.0.0.1:8080" or "localhost:8080" as a port; 0 for any other host.
int LoopbackPort(const std::string& hostPort) {
    const std::size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos) return 0;
    const std::string host = hostPort.substr(0, colon);
    if (host != "127.0.0.1" && host != "localhost") return 0;
    return std::atoi(hostPort.c_str() + colon + 1);
}

std::string HeaderValue(const std::string& head, const std::string& lowerName) {
    std::size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        std::string name;
        std::size_t i = at;
        while (i < head.size() && head[i] != ':' && head[i] != '\r') name += static_cast<char>(std::tolower(head[i++]));
        if (name == lowerName && i < head.size() && head[i] == ':') {
            const std::size_t end = head.find("\r\n", i);
            std::string value = head.substr(i + 1, end - i - 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            return value;
        }
    }
    return {};
}

}  // namespace

TestProxy::TestProxy(Options options) : m_options(std::move(options)) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listenFd, 64) != 0)
        throw std::runtime_error("test proxy: cannot listen");
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_nPort = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

TestProxy::~TestProxy() {
    m_bStopping = true;
    shutdown(m_listenFd, SHUT_RDWR);
    m_acceptThread.join();
    close(m_listenFd);
    std::vector<std::thread> threads;
    {
        // A client that keeps its connection open holds no thread past the proxy's end.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clients) shutdown(fd, SHUT_RDWR);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads) t.join();
}

std::string TestProxy::Url(const std::string& scheme, const std::string& credentials) const {
    return scheme + "://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" + std::to_string(m_nPort);
}

std::vector<std::string> TestProxy::Heads() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heads;
}

void TestProxy::AcceptLoop() {
    while (!m_bStopping) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (m_bStopping) return;
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clients.push_back(fd);
        m_threads.emplace_back([this, fd] { Serve(fd); });
    }
}

void TestProxy::Serve(int fd) {
    if (m_options.kind == Kind::Http)
        ServeHttp(fd);
    else
        ServeSocks(fd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), fd));
    close(fd);
}

// Bytes both ways until either side closes, or the proxy stops.
void TestProxy::Relay(int a, int b, const std::string& toB) {
    if (!toB.empty() && !SendAll(b, toB)) return;
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buf[16384];
    while (!m_bStopping) {
        if (poll(fds, 2, 100) < 0) return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = recv(fds[i].fd, buf, sizeof buf, 0);
            if (n <= 0 || !SendAll(fds[1 - i].fd, std::string(buf, static_cast<std::size_t>(n)))) return;
        }
    }
}

void TestProxy::ServeHttp(int fd) {
    std::string pending, head;
    while (!m_bStopping && ReadUntil(fd, "\r\n\r\n", pending, head)) {
        const std::size_t sp1 = head.find(' '), sp2 = head.find(' ', sp1 + 1);
        if (sp1 == std::string::npos || sp2 == std::string::npos) return;
        const std::string method = head.substr(0, sp1), target = head.substr(sp1 + 1, sp2 - sp1 - 1);
        if (!m_options.user.empty() &&
            HeaderValue(head, "proxy-authorization") != "Basic " + Base64(m_options.user + ":" + m_options.password)) {
            SendAll(fd, "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                        "Content-Length: 0\r\n\r\n");
            continue;
        }
        if (method == "CONNECT") {
            if (m_options.refuseTunnels) {
                SendAll(fd, "HTTP/1.1 " + std::to_string(m_options.refuseTunnels) + " Refused\r\nContent-Length: 0\r\n\r\n");
                return;
            }
            const int port = LoopbackPort(target);
            const int site = port ? ConnectLoopback(port) : -1;
            if (site < 0) {
                SendAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
                return;
            }
            ++m_nCarried;
            SendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
            Relay(fd, site, pending);
            close(site);
            return;
        }
        // A plain request: "GET http://127.0.0.1:PORT/path HTTP/1.1", passed on in origin form.
        const std::string prefix = "http://";
        if (target.compare(0, prefix.size(), prefix) != 0) return;
        const std::size_t slash = target.find('/', prefix.size());
        const std::string hostPort = target.substr(prefix.size(), slash == std::string::npos ? std::string::npos : slash - prefix.size());
        const int port = LoopbackPort(hostPort);
        const int site = port ? ConnectLoopback(port) : -1;
        if (site < 0) {
            SendAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        std::string passed = method + " " + (slash == std::string::npos ? "/" : target.substr(slash)) + head.substr(sp2);
        // One request a connection: what is not the site's is left out.
        std::string out;
        std::size_t at = 0;
        while (at < passed.size()) {
            std::size_t end = passed.find("\r\n", at);
            if (end == std::string::npos) end = passed.size();
            const std::string line = passed.substr(at, end - at);
            std::string lower;
            for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (line.empty()) break;
            if (lower.rfind("proxy-", 0) != 0 && lower.rfind("connection:", 0) != 0) out += line + "\r\n";
            at = end + 2;
        }
        out += "Connection: close\r\n\r\n";
        std::string sent;
        const std::string sentLength = HeaderValue(head, "content-length");
        if (!sentLength.empty() &&
            !ReadExactly(fd, static_cast<std::size_t>(std::atoll(sentLength.c_str())), pending, sent))
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_heads.push_back(out);
        }
        ++m_nCarried;
        // The answer goes back whole (by its length, else to the site's close), and the
        // connection ends with it.
        SendAll(site, out + sent);
        std::string sitePending, answer, body;
        if (ReadUntil(site, "\r\n\r\n", sitePending, answer)) {
            const std::string length = HeaderValue(answer, "content-length");
            if (!length.empty()) {
                ReadExactly(site, static_cast<std::size_t>(std::atoll(length.c_str())), sitePending, body);
            } else {
                char buf[16384];
                ssize_t n;
                while ((n = recv(site, buf, sizeof buf, 0)) > 0) sitePending.append(buf, static_cast<std::size_t>(n));
                body.swap(sitePending);
            }
            SendAll(fd, answer + body);
        }
        close(site);
        return;
    }
}

void TestProxy::ServeSocks(int fd) {
    std::string pending, bytes;
    if (!ReadExactly(fd, 2, pending, bytes) || bytes[0] != 5) return;
    std::string methods;
    if (!ReadExactly(fd, static_cast<unsigned char>(bytes[1]), pending, methods)) return;
    const bool wantAuth = !m_options.user.empty();
    const char method = wantAuth ? 2 : 0;
    if (methods.find(method) == std::string::npos) {
        SendAll(fd, std::string("\x05\xff", 2));
        return;
    }
    SendAll(fd, std::string("\x05", 1) + method);
    if (wantAuth) {
        std::string ver, len, user, pass;
        if (!ReadExactly(fd, 2, pending, ver)) return;
        if (!ReadExactly(fd, static_cast<unsigned char>(ver[1]), pending, user)) return;
        if (!ReadExactly(fd, 1, pending, len) || !ReadExactly(fd, static_cast<unsigned char>(len[0]), pending, pass))
            return;
        const bool ok = user == m_options.user && pass == m_options.password;
        SendAll(fd, std::string("\x01", 1) + (ok ? '\0' : '\x01'));
        if (!ok) return;
    }
    std::string req;
    if (!ReadExactly(fd, 4, pending, req) || req[1] != 1) return;
    std::string host;
    if (req[3] == 1) {
        std::string ip;
        if (!ReadExactly(fd, 4, pending, ip)) return;
        host = std::to_string(static_cast<unsigned char>(ip[0])) + "." + std::to_string(static_cast<unsigned char>(ip[1])) +
               "." + std::to_string(static_cast<unsigned char>(ip[2])) + "." +
               std::to_string(static_cast<unsigned char>(ip[3]));
    } else if (req[3] == 3) {
        std::string len;
        if (!ReadExactly(fd, 1, pending, len) || !ReadExactly(fd, static_cast<unsigned char>(len[0]), pending, host)) return;
    } else {
        return;
    }
    std::string portBytes;
    if (!ReadExactly(fd, 2, pending, portBytes)) return;
    const int port = (static_cast<unsigned char>(portBytes[0]) << 8) | static_cast<unsigned char>(portBytes[1]);
    const int site = LoopbackPort(host + ":" + std::to_string(port)) ? ConnectLoopback(port) : -1;
    const std::string reply = std::string("\x05", 1) + (site < 0 ? '\x05' : '\0') + std::string("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
    SendAll(fd, reply);
    if (site < 0) return;
    ++m_nCarried;
    Relay(fd, site, "");
    close(site);
}

}  // namespace sentrel::test
