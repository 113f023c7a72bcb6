#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/FileCalls.h"
#include "platform/Files.h"

static_assert(sentrel::fs::os::kNotRegular == EINVAL, "the errno of a file that is not regular");

namespace sentrel::fs {

namespace {
Kind KindOfMode(mode_t m) {
    return S_ISREG(m) ? Kind::kFile : S_ISDIR(m) ? Kind::kDir : Kind::kOther;
}
mode_t CurrentUmask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}
}  // namespace

Kind KindOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? KindOfMode(st.st_mode) : Kind::kMissing;
}

Kind KindOf(std::FILE* f) {
    struct stat st {};
    return fstat(fileno(f), &st) == 0 ? KindOfMode(st.st_mode) : Kind::kMissing;
}

std::FILE* os::OpenRegular(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = os::kNotRegular;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

long long SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::FILE* os::Open(const std::string& path, const char* mode) {
    std::string m = std::string(mode) + "e";  // O_CLOEXEC
    return std::fopen(path.c_str(), m.c_str());
}

bool os::MakeDirs(const std::string& dir, int mode, std::string& failedPart) {
    std::string path;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        path += dir[i];
        if ((dir[i] == '/' && i > 0) || i + 1 == dir.size()) {
            if (mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
                failedPart = path;
                return false;
            }
        }
    }
    if (KindOf(dir) == Kind::kDir) return true;
    failedPart = dir;
    errno = ENOTDIR;
    return false;
}

std::FILE* os::CreateBeside(const std::string& target, std::string& tmpPath) {
    std::string tmpl = target + ".XXXXXX";
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        int err = errno;
        close(fd);
        unlink(tmpl.c_str());
        errno = err;
        return nullptr;
    }
    tmpPath = tmpl;
    return f;
}

bool os::FlushToDisk(std::FILE* f) {
    return std::fflush(f) == 0 && fsync(fileno(f)) == 0;
}

bool os::GiveRightsOf(const std::string& like, const std::string& path) {
    struct stat st {};
    const mode_t mode =
        stat(like.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
    return chmod(path.c_str(), mode) == 0;
}

bool Replace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool Remove(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

std::string NewTempFolder(const std::string& prefix, std::size_t room, std::string& error) {
    // A socket's address holds this many bytes of its path (107 on Linux).
    constexpr std::size_t kSocketPath = sizeof(sockaddr_un{}.sun_path) - 1;
    std::string tmp = GetEnv("TMPDIR");
    while (tmp.size() > 1 && tmp.back() == '/') tmp.pop_back();
    std::vector<std::string> bases;
    if (!tmp.empty()) bases.push_back(tmp);
    for (const char* shorter : {"/tmp", "/var/tmp", "/dev/shm"}) bases.push_back(shorter);
    const std::size_t name = prefix.size() + 6 + 1;  // mkdtemp's six, the separator
    error.clear();
    for (const bool fitting : {true, false}) {  // where it fits; else wherever it can be
        for (const std::string& base : bases) {
            if (fitting && base.size() + name + room > kSocketPath) continue;
            std::string path = base + "/" + prefix + "XXXXXX";
            if (::mkdtemp(path.data())) return path;  // mode 0700
            if (error.empty()) error = base + ": " + std::strerror(errno);
        }
    }
    return std::string();
}

std::string Resolve(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string out = real;
    std::free(real);
    return out;
}

std::string ExecutableDir() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), PATH_MAX);
    if (n <= 0) return "./";
    std::string path(buf.data(), static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace sentrel::fs

namespace sentrel {
std::string GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
bool LocalTime(std::time_t when, std::tm& out) {
    return localtime_r(&when, &out) != nullptr;
}
bool UtcTime(std::time_t when, std::tm& out) {
    return gmtime_r(&when, &out) != nullptr;
}
}  // namespace sentrel
