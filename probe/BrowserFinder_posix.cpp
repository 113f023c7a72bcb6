#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "probe/BrowserFinder.h"

namespace sentrel {

std::vector<std::string> BrowserCandidates() {
    std::vector<std::string> found;
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (const char* name : {"chromium-headless-shell", "chromium", "chromium-browser", "google-chrome", "google-chrome-stable",
                             "microsoft-edge"}) {
        std::size_t start = 0;
        while (start <= dirs.size()) {
            std::size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            const std::string dir = dirs.substr(start, end - start);
            start = end + 1;
            if (dir.empty()) continue;
            const std::string candidate = dir + "/" + name;
            if (IsProgram(candidate)) {
                found.push_back(candidate);
                break;
            }
        }
    }
    return found;
}

bool IsProgram(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

}  // namespace sentrel
