#include "alerts/NoticeBatch.h"

#include <algorithm>

#include "alerts/AlertJson.h"
#include "alerts/ChangeText.h"
#include "base/Translate.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {

// "note\nurl", or the URL alone.
std::string NoticeLine(const WatchRow& row) {
    const std::string url = WithoutPassword(row.url);
    return row.note.empty() ? url : row.note + "\n" + url;
}

// "N 个网页有更新：", and the others, for N pages.
std::string Many(EventKind kind, std::size_t n) {
    const std::string count = std::to_string(n);
    switch (kind) {
        case EventKind::Changed:
        case EventKind::Quiet:  // never told, worded as a change
            return Fill(TrN("{0} 个网页有更新：", "{0} 个网页有更新：", n), {count});
        case EventKind::Failing:
            return Fill(TrN("{0} 个网页访问失败：", "{0} 个网页访问失败：", n), {count});
        case EventKind::Recovered:
            break;
    }
    return Fill(TrN("{0} 个网页已恢复：", "{0} 个网页已恢复：", n), {count});
}

}  // namespace

bool NoticeBatch::Add(EventKind kind, RowId id) {
    const bool first = Empty();
    std::vector<RowId>& rows = m_rows[KindIndex(kind)];
    if (std::find(rows.begin(), rows.end(), id) == rows.end()) rows.push_back(id);
    return first;
}

std::vector<DesktopNotice> NoticeBatch::Flush(const WatchSession& session) {
    std::vector<DesktopNotice> notices;
    for (const EventKind kind : {EventKind::Changed, EventKind::Failing, EventKind::Recovered}) {
        std::vector<RowId>& ids = m_rows[KindIndex(kind)];
        std::vector<const WatchRow*> rows;
        for (RowId id : ids)
            if (session.IndexOf(id) >= 0) rows.push_back(&session.Row(session.IndexOf(id)));
        ids.clear();
        if (rows.empty()) continue;  // deleted meanwhile: gone
        DesktopNotice notice;
        notice.title = ReportTitle(kind);
        if (rows.size() == 1) {
            notice.body = NoticeLine(*rows[0]);
            if (kind == EventKind::Failing) notice.body += "\n" + ReasonText(rows[0]->lastFailure.Reason());
            if (kind == EventKind::Changed) {
                notice.openRow = rows[0]->id;
                if (!rows[0]->because.empty()) notice.body += "\n" + BecauseText(rows[0]->because);
                const std::string lines = NoticeChangeLines(rows[0]->Changes());
                if (!lines.empty()) notice.body += "\n" + lines;
            }
        } else {
            constexpr std::size_t kNamed = 3;
            notice.body = Many(kind, rows.size());
            for (std::size_t i = 0; i < rows.size() && i < kNamed; ++i)
                notice.body += "\n" + (rows[i]->note.empty() ? WithoutPassword(rows[i]->url) : rows[i]->note);
            if (rows.size() > kNamed) notice.body += "\n……";
        }
        notices.push_back(std::move(notice));
    }
    return notices;
}

}  // namespace sentrel
