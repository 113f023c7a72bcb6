#include "controls/OpenUrl.h"

#include <wx/utils.h>

namespace sentrel {

namespace {
std::function<bool(const std::string&)>& Opener() {
    static std::function<bool(const std::string&)> opener;
    return opener;
}
}  // namespace

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
