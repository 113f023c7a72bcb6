#include "alerts/ChangeText.h"

#include "base/Translate.h"
#include "platform/TextRules.h"

namespace sentrel {

std::string ReasonText(const std::string& reason) {
    return Tr("原因：") + reason;
}

std::string BecauseText(const std::string& because) {
    return Tr("条件：") + because;
}

std::string ChangeLinesText(const std::vector<std::string>& removed,
                            const std::vector<std::string>& added, int nRemoved, int nAdded,
                            const LineStyle& style) {
    std::string text;
    std::size_t shown = 0;
    auto tell = [&](const std::vector<std::string>& lines, const char* mark) {
        for (const std::string& line : lines)
            if (shown < style.max) text += style.lead + (mark + line) + style.trail, ++shown;
    };
    if (!style.oneSide || added.empty()) tell(removed, style.removedMark);
    if (!style.oneSide || !added.empty()) tell(added, "+ ");
    const int all = style.oneSide ? (added.empty() ? nRemoved : nAdded) : nRemoved + nAdded;
    const int left = all - static_cast<int>(shown);
    if (style.countRest && left > 0)
        text += style.lead +
                Fill(TrN("…另有 {0} 行", "…另有 {0} 行", static_cast<unsigned long>(left)),
                     {std::to_string(left)}) +
                style.trail;
    return text;
}

std::string NoticeChangeLines(const content::LineChanges& change) {
    LineStyle style;
    style.removedMark = "− ";
    style.max = 3;
    style.oneSide = true;
    const std::string lines =
        ChangeLinesText(change.removed, change.added, change.nRemoved, change.nAdded, style);
    return CutText(lines.empty() ? lines : lines.substr(1), 200);  // joined, not led, by line ends
}

std::string MailChangeLines(const content::LineChanges& change) {
    LineStyle style;
    style.lead = "";
    style.trail = "\r\n";
    style.max = 50;
    style.countRest = true;
    return ChangeLinesText(change.removed, change.added, change.nRemoved, change.nAdded, style);
}

}  // namespace sentrel
