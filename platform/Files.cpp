// The file calls the rest of the program uses: the system's (FileCalls.h), with why they
// failed in words.
#include "Files.h"

#include <cerrno>
#include <cstring>

#include "FileCalls.h"
#include "Translate.h"

namespace sentrel::fs {

namespace {
std::string Why(const std::string& path, int error) {
    return path + ": " + (error == os::kNotRegular ? Tr("不是普通文件") : std::string(std::strerror(error)));
}
}  // namespace

std::FILE* Open(const std::string& path, const char* mode, std::string& why) {
    std::FILE* f = os::Open(path, mode);
    if (!f) why = Why(path, errno);
    return f;
}

std::FILE* OpenRegular(const std::string& path, std::string& why, bool* missing) {
    std::FILE* f = os::OpenRegular(path);
    if (missing) *missing = !f && errno == ENOENT;
    if (!f) why = Why(path, errno);
    return f;
}

bool MakeDirs(const std::string& dir, int mode, std::string& why) {
    std::string part;
    if (os::MakeDirs(dir, mode, part)) return true;
    why = Why(part, errno);
    return false;
}

Written WriteWhole(const std::string& target, const std::string& bytes, Rights rights, std::string& why,
                   const std::function<void()>& beforeReplace) {
    std::string tmp;
    std::FILE* f = os::CreateBeside(target, tmp);
    if (!f) {
        why = Why(target, errno);
        return Written::NotCreated;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && os::FlushToDisk(f);
    int error = ok ? 0 : (errno ? errno : EIO);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rights == Rights::LikeTarget && !os::GiveRightsOf(target, tmp)) {
        ok = false;
        error = errno;
    }
    if (ok && beforeReplace) beforeReplace();
    // Replacing an existing file: a plain rename refuses that on some systems.
    if (ok && !Replace(tmp, target)) {
        ok = false;
        error = errno;
    }
    if (ok) return Written::Whole;
    why = Why(target, error);
    Remove(tmp);
    return Written::Failed;
}

}  // namespace sentrel::fs
