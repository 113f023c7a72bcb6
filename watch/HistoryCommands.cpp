#include "watch/HistoryCommands.h"

#include <algorithm>
#include <cstdio>

#include "content/WordDiff.h"
#include "watch/WatchOutput.h"

namespace sentrel {

namespace {

// The page's kept versions; false, told, when none can be had.
bool VersionsOf(const ListFile& list, const std::string& url, std::vector<TextVersion>& versions) {
    std::string error;
    if (!list.Versions(url, versions, error)) {
        Say(error);
        return false;
    }
    if (versions.empty()) {
        Complain("没有保存 {0} 的版本（只有文字比较的行才保存版本）", {ShownUrl(url)});
        return false;
    }
    return true;
}

// --history URL: the page's versions, newest first.
}  // namespace

int History(const ListFile& list, const Args& args) {
    std::vector<TextVersion> versions;
    if (!VersionsOf(list, args.history, versions)) return kExitErrors;
    for (auto v = versions.rbegin(); v != versions.rend(); ++v)
        std::printf("%s\n", FormatVersion(*v, args.bJson).c_str());
    return kExitQuiet;
}

// --diff URL [--from N] [--to M]: what went and came between two versions.
int Diff(const ListFile& list, const Args& args) {
    std::vector<TextVersion> versions;
    if (!VersionsOf(list, args.diff, versions)) return kExitErrors;
    std::string error;
    const int count = static_cast<int>(versions.size());
    const int to = args.nTo ? args.nTo : count;
    const int from = args.nFrom ? args.nFrom : std::max(1, to - 1);
    std::string before, after;
    for (auto [n, text] : {std::pair<int, std::string*>{from, &before}, {to, &after}}) {
        if (n > count) {
            Complain("没有第 {0} 个版本（{1} 有 {2} 个）",
                     {std::to_string(n), ShownUrl(args.diff), std::to_string(count)});
            return kExitErrors;
        }
        if (!list.VersionText(args.diff, n, *text, error)) {
            Say(error);
            return kExitErrors;
        }
    }
    for (const content::ShownLine& line :
         content::ShownChanges(content::DiffLines(before, after), args.bWords))
        std::printf("%s\n", Visible(content::ShownText(line)).c_str());
    return kExitQuiet;
}

}  // namespace sentrel
