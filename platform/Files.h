#pragma once
// Files and folders by UTF-8 path, the same on every platform. On Windows each path is
// turned into the system's wide form for every call, so Chinese names arrive intact.
// A call that can fail in a way the user is told gives the reason in words ("path: …").
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace sentrel::fs {

enum class Kind { kMissing, kFile, kDir, kOther };
Kind KindOf(const std::string& path);
/// What an open file is: a regular file, or a device, pipe or other thing without an end.
Kind KindOf(std::FILE* f);

/// fopen by UTF-8 path; the file is not inherited by child processes. Null with the reason.
std::FILE* Open(const std::string& path, const char* mode, std::string& why);
/// Opens a regular file for reading, never waiting on a pipe or a device: anything else
/// gives null, with the reason ("不是普通文件"); `missing` (when given) tells that nothing
/// is there at all.
std::FILE* OpenRegular(const std::string& path, std::string& why, bool* missing = nullptr);
/// A file's size in bytes; -1 when it cannot be known.
long long SizeOf(const std::string& path);
/// Creates the folder and any missing parents; `mode` applies where the system has rights
/// bits. False with the reason, naming the part that could not be made or is no folder.
bool MakeDirs(const std::string& dir, int mode, std::string& why);

/// Whose rights a file written whole gets.
enum class Rights {
    Owner,       ///< its owner's alone (a file that holds a password)
    LikeTarget,  ///< those of the file it replaces, else an ordinary new file's
};
/// How writing a file whole ended.
enum class Written {
    Whole,       ///< all of it is in place
    NotCreated,  ///< no file could be made beside it (a folder that is not there, or not ours)
    Failed,      ///< made, and then not written or not put in place
};
/// Writes `bytes` as the file `target`, whole: beside it under a new name (created
/// exclusively: a link planted there is never followed), put on disk, then moved over it
/// in one step, so that a reader, a crash or a full disk never meets half of it.
/// `beforeReplace` (may be empty) runs once the bytes are safe and before the move.
/// Anything but Whole comes with the reason, and leaves nothing beside it.
Written WriteWhole(const std::string& target, const std::string& bytes, Rights rights, std::string& why,
                   const std::function<void()>& beforeReplace = {});
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
/// `when` in local time as `format` (strftime's) writes it, the one way the program writes
/// a time: "%z" is the offset from UTC as RFC 3339 writes it ("+08:00") on every system.
std::string FormatLocalTime(std::time_t when, const char* format);
}  // namespace sentrel
