#include "watch/ListCommands.h"

#include <cstdio>

#include "store/WatchList.h"
#include "watch/WatchOutput.h"

namespace sentrel {

int ListRows(WatchProfile& profile, const Args& args) {
    for (const WatchRow& row : profile.Session().Rows()) {
        if (args.bJson)
            std::printf("%s\n", FormatRow(row).c_str());
        else
            std::printf("%s\t%d\t%s\n", Visible(OneLine(row.url)).c_str(), row.nStoredSize,
                        Visible(OneLine(row.note)).c_str());
    }
    return kExitQuiet;
}

// --add and --remove: the list changed as the window's dialog would change it; a list that
// could not be read is never written over, the change goes to a recovery file beside it.
int EditList(WatchProfile& profile, const Args& args) {
    WatchSession& session = profile.Session();
    ListFile& list = profile.List();
    if (!args.remove.empty()) {
        std::vector<RowId> rows;
        for (const WatchRow& row : session.Rows())
            if (row.url == args.remove) rows.push_back(row.id);
        if (rows.empty()) {
            Complain("列表中没有网址为 {0} 的行", {ShownUrl(args.remove)});
            return kExitErrors;
        }
        for (RowId id : rows) session.RemoveRow(id);
    } else {
        std::string url = args.add, note = args.note;
        CompareOptions compare;
        CompareOptions::ModeNamed(args.compare, compare.mode);
        const bool render = args.bRender || !args.session.empty();
        if (render) compare.mode = CompareOptions::kText;
        compare.render = render;
        const PageAccess access{args.proxy, args.headers, args.session};
        std::string alertIf;
        if (compare.Text()) {
            compare.select = args.select;
            for (const std::string& rule : args.ignore)
                compare.ignore += (compare.ignore.empty() ? "" : "\n") + rule;
            for (const std::string& rule : args.alertIf)
                alertIf += (alertIf.empty() ? "" : "\n") + rule;
        }
        std::string problem;
        int interval = 0;
        if (!CheckRow(url, note, compare, problem, alertIf) ||
            !ReadPageInterval(args.pageInterval, interval, problem) || !CheckAccess(access, problem)) {
            Say(problem);
            return kExitErrors;
        }
        const RowId id = session.AddRow(url, note, 0, {}, {}, compare);
        session.SetInterval(id, interval);
        session.SetAlertIf(id, alertIf);
        session.SetAccess(id, access);
    }
    std::string told;
    const bool unread = list.SaveTarget() != list.Path();
    if (!list.Save(session, told)) {
        Say(told);
        return kExitErrors;
    }
    if (unread) {
        Complain("列表未改动；改动后的列表保存在 {0}", {list.SaveTarget()});
        return kExitErrors;
    }
    return kExitQuiet;
}

}  // namespace sentrel
