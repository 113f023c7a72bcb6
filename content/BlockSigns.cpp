#include "content/BlockSigns.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace sentrel::content {

namespace {

// A bot check's page is small; its signs are never deep in it.
constexpr std::size_t kLookAt = 256 * 1024;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Where `needle` (lower case) is in `text`, in any letter case, from `from`.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (needle.size() > text.size()) return std::string_view::npos;
    auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
                          needle.begin(), needle.end(), [](char a, char b) { return Lower(a) == b; });
    return it == text.end() ? std::string_view::npos : static_cast<std::size_t>(it - text.begin());
}

// The title's text: blanks run together, the ellipsis as three dots, lower case.
std::string TitleOf(std::string_view html) {
    const std::size_t open = FindNoCase(html, "<title");
    if (open == std::string_view::npos) return {};
    const std::size_t start = html.find('>', open);
    if (start == std::string_view::npos) return {};
    const std::size_t end = FindNoCase(html, "</title", start);
    std::string_view raw = html.substr(start + 1, (end == std::string_view::npos ? html.size() : end) - start - 1);
    raw = raw.substr(0, 512);
    std::string title;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw.compare(i, 3, "\xE2\x80\xA6") == 0 || raw.compare(i, 8, "&hellip;") == 0 ||
            raw.compare(i, 7, "&#8230;") == 0) {
            title += "...";
            i += raw[i] == '&' ? (raw[i + 1] == 'h' ? 7 : 6) : 2;
        } else if (std::isspace(static_cast<unsigned char>(raw[i]))) {
            if (!title.empty() && title.back() != ' ') title += ' ';
        } else {
            title += Lower(raw[i]);
        }
    }
    while (!title.empty() && title.back() == ' ') title.pop_back();
    return title;
}

// The title starts with `name`, and ends there or goes on after a separator (" | site").
bool TitleNamed(const std::string& title, std::string_view name) {
    if (title.compare(0, name.size(), name) != 0) return false;
    if (title.size() == name.size()) return true;
    const std::string_view rest = std::string_view(title).substr(name.size());
    return rest.compare(0, 2, " |") == 0 || rest.compare(0, 2, " -") == 0 ||
           rest.compare(0, 3, " \xE2\x80\x94") == 0;
}

}  // namespace

bool LooksLikeBotCheck(std::string_view html) {
    html = html.substr(0, kLookAt);
    const std::string title = TitleOf(html);
    static constexpr std::string_view kTitles[] = {
        "just a moment...", "attention required!", "access denied", "please wait...",
        "checking your browser", "verifying you are human", "human verification",
        "pardon our interruption", "are you a robot?", "ddos-guard",
    };
    for (std::string_view name : kTitles)
        if (TitleNamed(title, name)) return true;
    // The forms and settings of the bot checks themselves, never of a page that merely
    // loads a check's script.
    static constexpr std::string_view kForms[] = {
        "id=\"challenge-form\"", "id='challenge-form'", "window._cf_chl_opt", "id=\"px-captcha\"",
        "captcha-delivery.com/captcha",
    };
    for (std::string_view form : kForms)
        if (FindNoCase(html, form) != std::string_view::npos) return true;
    return false;
}

int PasswordFields(std::string_view html) {
    int fields = 0;
    for (std::size_t at = FindNoCase(html, "<input"); at != std::string_view::npos;
         at = FindNoCase(html, "<input", at + 6)) {
        const std::size_t end = html.find('>', at);
        const std::string_view tag = html.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        std::string flat;
        for (char c : tag)
            if (c != '"' && c != '\'' && !std::isspace(static_cast<unsigned char>(c))) flat += Lower(c);
        // type=password, and not hidden away by the markup (type, hidden, display:none).
        if (flat.find("type=password") == std::string::npos) continue;
        if (flat.find("display:none") != std::string::npos || flat.find("visibility:hidden") != std::string::npos)
            continue;
        const std::string lowerTag = [&] {
            std::string l;
            for (char c : tag) l += Lower(c);
            return l;
        }();
        if (lowerTag.find(" hidden") != std::string::npos || lowerTag.find("\thidden") != std::string::npos)
            continue;
        ++fields;
    }
    return fields;
}

}  // namespace sentrel::content
