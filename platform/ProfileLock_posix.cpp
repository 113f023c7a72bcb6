// The lock is flock() on a file in the profile, dropped by the system with its holder. The
// holder listens on an abstract Unix socket named after the profile: nothing on disk, so
// nothing stale after a crash. Anyone can bind such a name, so each side checks that the
// other runs as the same user, and a second start waits for the holder's answer at most
// two seconds.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/Files.h"
#include "platform/ProfileLock.h"

namespace sentrel {

namespace {

constexpr char kShow[] = "show\n";
constexpr char kShowing[] = "ok\n";
constexpr auto kAnswerBound = std::chrono::seconds(2);

// The name as a sockaddr of the abstract namespace (a leading NUL).
socklen_t Address(const std::string& dir, sockaddr_un& addr) {
    const std::string name = ProfileLock::ChannelName(dir);
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// True when the process at the other end of a connected Unix socket runs as this user.
bool SameUser(int fd) {
    ucred peer{};
    socklen_t len = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 && peer.uid == ::getuid();
}

// Reads `want` from a socket before `deadline`.
bool ReadExactly(int fd, const char* want, std::chrono::steady_clock::time_point deadline) {
    const std::size_t n = std::strlen(want);
    std::string got;
    while (got.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[8];
        const ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
        if (r <= 0) return false;
        got.append(buf, static_cast<std::size_t>(r));
    }
    return got == want;
}

}  // namespace

struct ProfileLock::Impl {
    int lockFd = -1;
    int listenFd = -1;
    std::string dir;
    std::string problem;
    std::thread listener;
};

ProfileLock::ProfileLock() : m_impl(std::make_unique<Impl>()) {}

ProfileLock::~ProfileLock() {
    StopListening();
    if (m_impl->lockFd >= 0) ::close(m_impl->lockFd);
}

const std::string& ProfileLock::Problem() const {
    return m_impl->problem;
}

ProfileLock::Result ProfileLock::Acquire(const std::string& dir, Hold hold,
                                         const std::string& name) {
    if (Held()) return kAcquired;
    m_impl->problem.clear();
    const std::string path = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A lock file of another owner (left by sudo, say) still locks when it can be read.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        // A folder that takes no file at all is the one case that runs without the lock;
        // a lock file that is there but cannot be used must not be passed over.
        if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return kUnavailable;
        m_impl->problem = path + ": " + std::strerror(err);
        return kFailed;
    }
    if (::flock(fd, (hold == Hold::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return kTaken;
        m_impl->problem = path + ": " + std::strerror(err);  // ENOLCK on a network folder
        return kFailed;
    }
    m_impl->lockFd = fd;
    m_impl->dir = dir;
    return kAcquired;
}

bool ProfileLock::Held() const {
    return m_impl->lockFd >= 0;
}

bool ProfileLock::Listen(std::function<void()> onShow) {
    if (!Held()) return false;
    if (m_impl->listenFd >= 0) return true;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_impl->problem = std::strerror(errno);
        return false;
    }
    sockaddr_un addr{};
    const socklen_t len = Address(m_impl->dir, addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0) {
        m_impl->problem = ChannelName(m_impl->dir) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_impl->listenFd = fd;
    m_impl->listener = std::thread([fd, onShow = std::move(onShow)] {
        for (;;) {
            const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;  // shut down: the holder ends
            }
            // A caller of another user, or one that says nothing, is not served.
            const bool asked =
                SameUser(c) &&
                ReadExactly(c, kShow, std::chrono::steady_clock::now() + kAnswerBound);
            if (asked) ::send(c, kShowing, sizeof kShowing - 1, MSG_NOSIGNAL);
            ::close(c);
            if (asked) onShow();
        }
    });
    return true;
}

void ProfileLock::StopListening() {
    if (m_impl->listenFd < 0) return;
    ::shutdown(m_impl->listenFd, SHUT_RDWR);  // ends the accept
    if (m_impl->listener.joinable()) m_impl->listener.join();
    ::close(m_impl->listenFd);
    m_impl->listenFd = -1;
}

ProfileLock::Answer ProfileLock::Ask(const std::string& dir) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerBound;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return kNoAnswer;
    sockaddr_un addr{};
    const socklen_t len = Address(dir, addr);
    Answer answer = kNoAnswer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        // Refused: nobody listens. A full queue (EAGAIN) is a holder that does not accept.
        if (errno == ECONNREFUSED || errno == ENOENT) answer = kNobody;
    } else if (SameUser(fd) &&
               ::send(fd, kShow, sizeof kShow - 1, MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(sizeof kShow - 1) &&
               ReadExactly(fd, kShowing, deadline)) {
        answer = kShown;
    }
    ::close(fd);
    return answer;
}

}  // namespace sentrel
