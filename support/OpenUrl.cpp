#include "OpenUrl.h"

#include <wx/utils.h>

#include <cctype>

namespace sentrel {

namespace {
std::function<bool(const std::string&)>& Opener() {
    static std::function<bool(const std::string&)> opener;
    return opener;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}
}  // namespace

bool IsWebUrl(const std::string& url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

std::string& ProgramPage() {
    static std::string page;
    return page;
}

void SetProgramPage(const std::string& url) {
    ProgramPage() = url;
}

bool OpenUrlInBrowser(const std::string& url) {
    if (!IsWebUrl(url) && (url.empty() || url != ProgramPage())) return false;
    if (Opener()) return Opener()(url);
    return wxLaunchDefaultBrowser(wxString::FromUTF8(url));
}

void SetUrlOpenerForTesting(std::function<bool(const std::string&)> opener) {
    Opener() = std::move(opener);
}

}  // namespace sentrel
