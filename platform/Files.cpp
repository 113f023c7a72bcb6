// The file calls the rest of the program uses: the system's (FileCalls.h), with why they
// failed in words.
#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/Translate.h"
#include "platform/FileCalls.h"

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

namespace sentrel {

namespace {
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
}  // namespace

std::string FormatLocalTime(std::time_t when, const char* format) {
    std::tm t{};
    LocalTime(when, t);
    // The offset as the local clock reads it against UTC (Windows' %z names the zone).
    const long long local = DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                                          static_cast<unsigned>(t.tm_mday)) * 86400 +
                            t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
    const long long offset = (local - static_cast<long long>(when)) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02lld:%02lld", offset < 0 ? '-' : '+', std::llabs(offset) / 60,
                  std::llabs(offset) % 60);
    std::string pattern;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 'z') {
            pattern += zone;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            pattern += "%%";
            ++p;
        } else {
            pattern += *p;
        }
    }
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, pattern.c_str(), &t);
    return std::string(text, n);
}

}  // namespace sentrel
