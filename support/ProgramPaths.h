#pragma once
#include <string>

namespace sentrel {

/// Where the program keeps its files, decided once at start-up:
///  - $SENTREL_HOME when set (portable profiles, tests): everything there;
///  - an installed program (<prefix>/bin/sentrel beside <prefix>/share/sentrel/): the
///    user's folders, sentrel.ini in $XDG_CONFIG_HOME/sentrel/ (~/.config/sentrel/) and
///    user.mdb in $XDG_DATA_HOME/sentrel/ (~/.local/share/sentrel/);
///  - a program installed by the Windows setup (its uninstall.exe beside the executable):
///    %APPDATA%\HalvexSentrel\ for both, since Program Files is not the user's to write;
///  - otherwise (a build folder, an unpacked folder): the executable's folder.
/// The rule looks at the layout only, never at what can be written.
struct ProgramPaths {
    enum Kind { kPortable, kInstalled, kBesideExecutable };
    Kind kind = kBesideExecutable;
    std::string configDir;  ///< holds sentrel.ini; ends in '/'
    std::string dataDir;    ///< holds user.mdb and its side files; ends in '/'
    std::string wavPath;    ///< the alert sound to play
    std::string guidePath;  ///< the user guide's start page
    std::string localeDir;  ///< holds <lang>/LC_MESSAGES/sentrel.mo
    std::string problem;    ///< a folder that could not be created (empty when all is well)

    /// Decides from the executable's folder (ending in '/') and the environment, and
    /// creates the folders that do not exist yet.
    static ProgramPaths Decide(const std::string& exeDir);
    /// Decides for the running executable.
    static ProgramPaths ForThisProgram();
};

}  // namespace sentrel
