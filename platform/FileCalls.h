#pragma once
// Inside platform: the system's file calls, one file per system, each leaving why it
// failed in errno. The rest of the program uses Files.h, whose calls say why in words.
#include <cstdio>
#include <string>

namespace sentrel::fs::os {

/// errno of a file that is there but not a regular one (EINVAL on every system).
constexpr int kNotRegular = 22;

std::FILE* Open(const std::string& path, const char* mode);
std::FILE* OpenRegular(const std::string& path);
/// `failedPart` names the folder that could not be made.
bool MakeDirs(const std::string& dir, int mode, std::string& failedPart);
/// A new file beside `target`, created exclusively under a unique name (a link or file
/// planted there is never followed or reused), readable by its owner only.
std::FILE* CreateBeside(const std::string& target, std::string& tmpPath);
/// Flushes the stream and asks the system to put the file on disk.
bool FlushToDisk(std::FILE* f);
/// Gives `path` the rights bits of `like` (or the ordinary ones of a new file when `like`
/// does not exist). Does nothing where files have no such bits.
bool GiveRightsOf(const std::string& like, const std::string& path);

}  // namespace sentrel::fs::os
