#pragma once
// Files and folders by UTF-8 path, the same on every platform. On Windows each path is
// turned into the system's wide form for every call, so Chinese names arrive intact.
// Failures leave a reason in errno, for std::strerror.
#include <cstdio>
#include <ctime>
#include <string>

namespace sentrel::fs {

enum class Kind { kMissing, kFile, kDir, kOther };
Kind KindOf(const std::string& path);
/// What an open file is: a regular file, or a device, pipe or other thing without an end.
Kind KindOf(std::FILE* f);

/// fopen by UTF-8 path; the file is not inherited by child processes.
std::FILE* Open(const std::string& path, const char* mode);
/// Opens a regular file for reading, never waiting on a pipe or a device: anything else
/// gives null with errno EINVAL (kNotRegular).
std::FILE* OpenRegular(const std::string& path);
constexpr int kNotRegular = 22;  // EINVAL on every system
/// A file's size in bytes; -1 when it cannot be known.
long long SizeOf(const std::string& path);
/// Creates the folder and any missing parents; `mode` applies where the system has rights
/// bits. False with errno when a part cannot be made or is no folder.
bool MakeDirs(const std::string& dir, int mode, std::string& failedPart);

/// A new file beside `target`, created exclusively under a unique name (a link or file
/// planted there is never followed or reused), readable by its owner only. Its name goes
/// to `tmpPath`; null with errno on failure.
std::FILE* CreateBeside(const std::string& target, std::string& tmpPath);
/// Flushes the stream and asks the system to put the file on disk.
bool FlushToDisk(std::FILE* f);
/// Gives `path` the rights bits of `like` (or the ordinary ones of a new file when `like`
/// does not exist). Does nothing where files have no such bits.
bool GiveRightsOf(const std::string& like, const std::string& path);
/// Moves `from` over `to` in one step, replacing an existing `to`.
bool Replace(const std::string& from, const std::string& to);
bool Rename(const std::string& from, const std::string& to);
bool Remove(const std::string& path);
/// A new folder only its owner may enter, for files of this run, named `prefix` and a few
/// random characters: in the system's temporary folder ($TMPDIR), or, where a path `room`
/// bytes longer than the new folder's would not fit a local socket's address there (a long
/// $TMPDIR), in a shorter one. Its path, or empty with the reason.
std::string NewTempFolder(const std::string& prefix, std::size_t room, std::string& error);
/// The path with links followed; the path itself when it cannot be resolved.
std::string Resolve(const std::string& path);
/// The running program's folder, ending in the separator.
std::string ExecutableDir();
#ifdef _WIN32
/// UTF-8 to and from the system's wide strings.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
#endif
/// The folder separator as it appears in paths the system hands out.
constexpr char kSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

}  // namespace sentrel::fs

namespace sentrel {
/// An environment variable as UTF-8; empty when it is not set.
std::string GetEnv(const char* name);
/// Broken-down local and UTC time; false when the time cannot be converted.
bool LocalTime(std::time_t when, std::tm& out);
bool UtcTime(std::time_t when, std::tm& out);
}  // namespace sentrel
