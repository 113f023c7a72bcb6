#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "platform/FileCalls.h"
#include "platform/Files.h"

static_assert(sentrel::fs::os::kNotRegular == EINVAL, "the errno of a file that is not regular");

namespace sentrel::fs {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

namespace {

// The system's last error as an errno value, for std::strerror.
bool FailWithLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_DIRECTORY:
            errno = ENOTDIR;
            break;
        default:
            errno = EIO;
    }
    return false;
}

}  // namespace

Kind KindOf(const std::string& path) {
    DWORD a = GetFileAttributesW(Wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Kind::kMissing;
    if (a & FILE_ATTRIBUTE_DIRECTORY) return Kind::kDir;
    return (a & FILE_ATTRIBUTE_DEVICE) ? Kind::kOther : Kind::kFile;
}

Kind KindOf(std::FILE* f) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (h == INVALID_HANDLE_VALUE) return Kind::kMissing;
    return GetFileType(h) == FILE_TYPE_DISK ? Kind::kFile : Kind::kOther;
}

std::FILE* os::OpenRegular(const std::string& path) {
    const Kind kind = KindOf(path);
    if (kind != Kind::kFile) {
        errno = kind == Kind::kMissing ? ENOENT : os::kNotRegular;
        return nullptr;
    }
    std::FILE* f = Open(path, "rb");
    if (f && KindOf(f) != Kind::kFile) {
        std::fclose(f);
        errno = os::kNotRegular;
        return nullptr;
    }
    return f;
}

long long SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &a)) return -1;
    return (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

std::FILE* os::Open(const std::string& path, const char* mode) {
    std::wstring m = Wide(mode) + L"N";  // not inherited by child processes
    return _wfopen(Wide(path).c_str(), m.c_str());
}

bool os::MakeDirs(const std::string& dir, int, std::string& failedPart) {
    std::string path;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        path += dir[i];
        const bool sep = dir[i] == '/' || dir[i] == '\\';
        // "C:\" and "\\server\share\" are roots, not folders to make.
        if ((sep && i > 0 && dir[i - 1] != ':' && path.size() > 2) || i + 1 == dir.size()) {
            if (!CreateDirectoryW(Wide(path).c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS) {
                failedPart = path;
                return FailWithLastError();
            }
        }
    }
    if (KindOf(dir) == Kind::kDir) return true;
    failedPart = dir;
    errno = ENOTDIR;
    return false;
}

std::FILE* os::CreateBeside(const std::string& target, std::string& tmpPath) {
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               static_cast<unsigned long long>(GetTickCount64())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08llx",
                      static_cast<unsigned long long>(random() & 0xffffffffULL));
        const std::string path = target + suffix;
        // CREATE_NEW fails on anything already there, a link included: nothing is followed.
        HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            FailWithLastError();
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        std::FILE* f = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
        if (!f) {
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(h);
            DeleteFileW(Wide(path).c_str());
            errno = EIO;
            return nullptr;
        }
        tmpPath = path;
        return f;
    }
    errno = EEXIST;
    return nullptr;
}

bool os::FlushToDisk(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return FlushFileBuffers(h) || FailWithLastError();
}

bool os::GiveRightsOf(const std::string&, const std::string&) {
    return true;  // a new file inherits its folder's access list
}

bool Replace(const std::string& from, const std::string& to) {
    // rename() refuses an existing target here; MoveFileEx replaces it in one step.
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           FailWithLastError();
}

bool Rename(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) ||
           FailWithLastError();
}

bool Remove(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) || FailWithLastError();
}

std::string NewTempFolder(const std::string& prefix, std::size_t, std::string& error) {
    // Windows has no socket paths to fit: the user's temporary folder, which only its
    // owner may enter.
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) {
        error = "GetTempPath: error " + std::to_string(GetLastError());
        return std::string();
    }
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               static_cast<unsigned long long>(GetTickCount64())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06llx", static_cast<unsigned long long>(random() & 0xffffffULL));
        const std::string path = Narrow(temp) + prefix + suffix;
        if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = "CreateDirectory: error " + std::to_string(GetLastError());
    return std::string();
}

std::string Resolve(const std::string& path) {
    HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    wchar_t buf[32768];
    DWORD n = GetFinalPathNameByHandleW(h, buf, 32768, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= 32768) return path;
    std::wstring w(buf, n);
    if (w.rfind(L"\\\\?\\UNC\\", 0) == 0)
        w = L"\\\\" + w.substr(8);
    else if (w.rfind(L"\\\\?\\", 0) == 0)
        w = w.substr(4);
    return Narrow(w);
}

std::string ExecutableDir() {
    wchar_t buf[32768];
    DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
    if (n == 0 || n >= 32768) return ".\\";
    std::string path = Narrow(std::wstring(buf, n));
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? ".\\" : path.substr(0, slash + 1);
}

}  // namespace sentrel::fs

namespace sentrel {
std::string GetEnv(const char* name) {
    const wchar_t* v = _wgetenv(fs::Wide(name).c_str());
    return v ? fs::Narrow(v) : "";
}
bool LocalTime(std::time_t when, std::tm& out) {
    return localtime_s(&out, &when) == 0;
}
bool UtcTime(std::time_t when, std::tm& out) {
    return gmtime_s(&out, &when) == 0;
}
}  // namespace sentrel
