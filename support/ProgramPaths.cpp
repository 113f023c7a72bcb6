#include "ProgramPaths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sentrel {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool IsDir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// mkdir -p with `mode` for the folders it makes; an empty text or the reason it failed.
std::string MakeDirs(const std::string& dir, mode_t mode) {
    std::string path;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        path += dir[i];
        if ((dir[i] == '/' && i > 0) || i + 1 == dir.size()) {
            if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
                return path + "：" + std::strerror(errno);
        }
    }
    return IsDir(dir) ? "" : dir + "：" + std::strerror(ENOTDIR);
}

std::string ExecutableDir() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), PATH_MAX);
    if (n <= 0) return "./";
    std::string path(buf.data(), static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace

ProgramPaths ProgramPaths::Decide(const std::string& exeDir) {
    ProgramPaths p;
    const std::string exe = WithSlash(exeDir);
    const std::string home = Env("SENTREL_HOME");
    // <prefix>/bin/ beside <prefix>/share/sentrel/
    std::string share;
    if (exe.size() > 5 && exe.compare(exe.size() - 5, 5, "/bin/") == 0)
        share = exe.substr(0, exe.size() - 4) + "share/";
    const bool installed = !share.empty() && IsDir(share + "sentrel");

    // The program's own files follow the layout alone, whoever's folders hold the user's.
    const std::string installedWav = installed ? share + "sentrel/alert.wav" : "";
    p.guidePath = installed ? share + "doc/sentrel/index.html" : exe + "doc/index.html";
    if (!home.empty()) {
        p.kind = kPortable;
        p.configDir = p.dataDir = WithSlash(home);
    } else if (installed) {
        p.kind = kInstalled;
        const std::string user = WithSlash(Env("HOME"));
        const std::string config = Env("XDG_CONFIG_HOME"), data = Env("XDG_DATA_HOME");
        // Relative XDG values are to be ignored, as the base directory rules say.
        p.configDir = WithSlash((config.empty() || config[0] != '/') ? user + ".config" : config) +
                      "sentrel/";
        p.dataDir =
            WithSlash((data.empty() || data[0] != '/') ? user + ".local/share" : data) + "sentrel/";
    } else {
        p.configDir = p.dataDir = exe;
    }

    // Settings hold a password: their folder is the user's alone.
    std::string problem = MakeDirs(p.configDir, 0700);
    if (problem.empty() && p.dataDir != p.configDir) problem = MakeDirs(p.dataDir, 0700);
    p.problem = problem;

    // A sound the user put in the data folder wins over the installed one.
    p.wavPath = p.dataDir + "alert.wav";
    if (!installedWav.empty() && !IsFile(p.wavPath)) p.wavPath = installedWav;
    return p;
}

ProgramPaths ProgramPaths::ForThisProgram() {
    return Decide(ExecutableDir());
}

}  // namespace sentrel
