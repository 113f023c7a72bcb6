#include "support/ProgramPaths.h"

#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace sentrel {

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || (dir.back() != '/' && dir.back() != fs::kSeparator)) dir += fs::kSeparator;
    return dir;
}

bool IsDir(const std::string& path) {
    return fs::KindOf(path) == fs::Kind::kDir;
}

bool IsFile(const std::string& path) {
    return fs::KindOf(path) == fs::Kind::kFile;
}

// mkdir -p with `mode` for the folders it makes; an empty text or the reason it failed.
std::string MakeDirs(const std::string& dir, int mode) {
    std::string why;
    return fs::MakeDirs(dir, mode, why) ? std::string() : why;
}

}  // namespace

ProgramPaths ProgramPaths::Decide(const std::string& exeDir) {
    ProgramPaths p;
    const std::string exe = WithSlash(exeDir);
    const std::string home = GetEnv("SENTREL_HOME");
    // <prefix>/bin/ beside <prefix>/share/sentrel/
    std::string share;
    if (exe.size() > 5 && exe.compare(exe.size() - 5, 5, "/bin/") == 0)
        share = exe.substr(0, exe.size() - 4) + "share/";
    const bool installed = !share.empty() && IsDir(share + "sentrel");
    // The Windows setup leaves its uninstaller beside the program.
    const std::string appData = GetEnv("APPDATA");
    const bool setupInstalled = !installed && !appData.empty() && IsFile(exe + "uninstall.exe");

    // The program's own files follow the layout alone, whoever's folders hold the user's.
    std::string installedWav = installed ? share + "sentrel/alert.wav" : "";
    p.guidePath = installed ? share + "doc/sentrel/index.html" : exe + "doc/index.html";
    // The catalogs: beside the program (Windows, a portable copy), else share/locale of the
    // prefix (installed, or the build tree, which is laid out alike).
    p.localeDir = IsDir(exe + "locale") ? exe + "locale"
                  : !share.empty()      ? share + "locale"
                                        : exe + "../share/locale";
    if (!home.empty()) {
        p.kind = kPortable;
        p.configDir = p.dataDir = WithSlash(home);
    } else if (installed) {
        p.kind = kInstalled;
        const std::string user = WithSlash(GetEnv("HOME"));
        const std::string config = GetEnv("XDG_CONFIG_HOME"), data = GetEnv("XDG_DATA_HOME");
        // Relative XDG values are to be ignored, as the base directory rules say.
        p.configDir = WithSlash((config.empty() || config[0] != '/') ? user + ".config" : config) +
                      "sentrel/";
        p.dataDir =
            WithSlash((data.empty() || data[0] != '/') ? user + ".local/share" : data) + "sentrel/";
    } else if (setupInstalled) {
        p.kind = kInstalled;
        p.configDir = p.dataDir = WithSlash(WithSlash(appData) + "HalvexSentrel");
    } else {
        p.configDir = p.dataDir = exe;
    }

    // Settings hold a password: their folder is the user's alone. Each folder is made on
    // its own: one that cannot be made must not cost the other.
    p.problem = MakeDirs(p.configDir, 0700);
    if (p.dataDir != p.configDir) {
        const std::string data = MakeDirs(p.dataDir, 0700);
        if (!data.empty()) p.problem += (p.problem.empty() ? "" : "；") + data;
    }

    // A sound the user put in the data folder wins over the installed one.
    if (setupInstalled) installedWav = exe + "alert.wav";
    p.wavPath = p.dataDir + "alert.wav";
    if (!installedWav.empty() && !IsFile(p.wavPath)) p.wavPath = installedWav;
    return p;
}

ProgramPaths ProgramPaths::ForThisProgram() {
    return Decide(fs::ExecutableDir());
}

}  // namespace sentrel
