#include "probe/BrowserFinder.h"

#include "platform/Files.h"

namespace sentrel {

std::string FindBrowser(const std::string& setting) {
    const std::string asked = GetEnv("SENTREL_BROWSER");
    if (!asked.empty()) return IsProgram(asked) ? asked : std::string();
    if (!setting.empty()) return IsProgram(setting) ? setting : std::string();
    const std::vector<std::string> found = BrowserCandidates();
    return found.empty() ? std::string() : found.front();
}

}  // namespace sentrel
