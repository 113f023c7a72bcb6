#include "platform/Files.h"
#include "probe/BrowserFinder.h"

namespace sentrel {

std::vector<std::string> BrowserCandidates() {
    std::vector<std::string> found;
    for (const char* root : {"ProgramFiles(x86)", "ProgramFiles", "LOCALAPPDATA"}) {
        const std::string dir = GetEnv(root);
        if (dir.empty()) continue;
        for (const char* program : {"\\Microsoft\\Edge\\Application\\msedge.exe",
                                    "\\Google\\Chrome\\Application\\chrome.exe"})
            if (IsProgram(dir + program)) found.push_back(dir + program);
    }
    const std::string path = GetEnv("PATH");
    for (const char* name : {"chromium.exe", "chrome.exe", "msedge.exe"}) {
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find(';', start);
            if (end == std::string::npos) end = path.size();
            const std::string dir = path.substr(start, end - start);
            start = end + 1;
            if (!dir.empty() && IsProgram(dir + "\\" + name)) {
                found.push_back(dir + "\\" + name);
                break;
            }
        }
    }
    return found;
}

bool IsProgram(const std::string& path) {
    return fs::KindOf(path) == fs::Kind::kFile;
}

bool RunningAsRoot() {
    return false;  // Windows runs a browser's sandbox for any user
}

}  // namespace sentrel
