// The lock is flock() on a file in the profile, dropped by the system with its holder. The
// holder listens on an abstract Unix socket named after the profile: nothing on disk, so
// nothing stale after a crash.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "Files.h"
#include "ProfileLock.h"

namespace sentrel {

namespace {

constexpr char kShow[] = "show\n";

// "\0sentrel-<hash of the profile's path>", as a sockaddr of the abstract namespace.
socklen_t Address(const std::string& dir, sockaddr_un& addr) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : fs::Resolve(dir)) h = (h ^ c) * 1099511628211ULL;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const int n = std::snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "sentrel-%016llx",
                                static_cast<unsigned long long>(h));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

}  // namespace

struct ProfileLock::Impl {
    int lockFd = -1;
    int listenFd = -1;
    std::string dir;
    std::thread listener;
};

ProfileLock::ProfileLock() : m_impl(std::make_unique<Impl>()) {}

ProfileLock::~ProfileLock() {
    StopListening();
    if (m_impl->lockFd >= 0) ::close(m_impl->lockFd);
}

ProfileLock::Result ProfileLock::Acquire(const std::string& dir) {
    if (Held()) return kAcquired;
    const std::string path = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + "sentrel.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return kUnavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? kTaken : kUnavailable;
    }
    m_impl->lockFd = fd;
    m_impl->dir = dir;
    return kAcquired;
}

bool ProfileLock::Held() const {
    return m_impl->lockFd >= 0;
}

void ProfileLock::Listen(std::function<void()> onShow) {
    if (!Held() || m_impl->listenFd >= 0) return;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_un addr{};
    const socklen_t len = Address(m_impl->dir, addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    m_impl->listenFd = fd;
    m_impl->listener = std::thread([fd, onShow = std::move(onShow)] {
        for (;;) {
            const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                if (errno == EINTR) continue;
                return;  // shut down: the holder ends
            }
            timeval t{1, 0};  // a caller that says nothing is not waited on
            ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
            char buf[sizeof kShow] = {};
            const ssize_t n = ::recv(c, buf, sizeof buf - 1, 0);
            ::close(c);
            if (n == static_cast<ssize_t>(sizeof kShow - 1) && std::strcmp(buf, kShow) == 0)
                onShow();
        }
    });
}

void ProfileLock::StopListening() {
    if (m_impl->listenFd < 0) return;
    ::shutdown(m_impl->listenFd, SHUT_RDWR);  // ends the accept
    if (m_impl->listener.joinable()) m_impl->listener.join();
    ::close(m_impl->listenFd);
    m_impl->listenFd = -1;
}

bool ProfileLock::AskHolderToShow(const std::string& dir) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    const socklen_t len = Address(dir, addr);
    const bool ok =
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        ::send(fd, kShow, sizeof kShow - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kShow - 1);
    ::close(fd);
    return ok;
}

}  // namespace sentrel
