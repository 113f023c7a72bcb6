#include "ChangeText.h"

#include "TextRules.h"
#include "Translate.h"

namespace sentrel {

namespace {

constexpr std::size_t kNoticeLines = 3;
constexpr std::size_t kNoticeChars = 200;
constexpr int kMailLines = 50;

}  // namespace

std::string NoticeChangeLines(const content::LineChanges& change) {
    const bool added = !change.added.empty();
    const auto& lines = added ? change.added : change.removed;
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kNoticeLines; ++i) {
        if (!text.empty()) text += '\n';
        text += (added ? "+ " : "− ") + lines[i];
    }
    return CutText(text, kNoticeChars);
}

std::string MailChangeLines(const content::LineChanges& change) {
    std::string text;
    int shown = 0;
    for (const std::string& line : change.removed)
        if (shown < kMailLines) text += "- " + line + "\r\n", ++shown;
    for (const std::string& line : change.added)
        if (shown < kMailLines) text += "+ " + line + "\r\n", ++shown;
    const int left = change.nRemoved + change.nAdded - shown;
    if (left > 0)
        text += Fill(TrN("…另有 {0} 行", "…另有 {0} 行", static_cast<unsigned long>(left)),
                     {std::to_string(left)}) +
                "\r\n";
    return text;
}

}  // namespace sentrel
