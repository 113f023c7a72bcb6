#include "NoticeBatch.h"

#include <algorithm>

#include "ChangeText.h"

namespace sentrel {

namespace {

// "note\nurl", or the URL alone.
std::string NoticeLine(const WatchRow& row) {
    return row.note.empty() ? row.url : row.note + "\n" + row.url;
}

struct Wording {
    const char* title;
    const char* many;  // "N 个网页…："
};
const Wording kWording[] = {
    {"有更新！", " 个网页有更新："},
    {"访问失败", " 个网页访问失败："},
    {"已恢复", " 个网页已恢复："},
};

}  // namespace

bool NoticeBatch::Add(Kind kind, RowId id) {
    const bool first = Empty();
    std::vector<RowId>& rows = m_rows[kind];
    if (std::find(rows.begin(), rows.end(), id) == rows.end()) rows.push_back(id);
    return first;
}

std::vector<DesktopNotice> NoticeBatch::Flush(const WatchSession& session) {
    std::vector<DesktopNotice> notices;
    for (int kind = kChanged; kind <= kRecovered; ++kind) {
        std::vector<const WatchRow*> rows;
        for (RowId id : m_rows[kind])
            if (session.IndexOf(id) >= 0) rows.push_back(&session.Row(session.IndexOf(id)));
        m_rows[kind].clear();
        if (rows.empty()) continue;  // deleted meanwhile: gone
        DesktopNotice notice;
        notice.title = kWording[kind].title;
        if (rows.size() == 1) {
            notice.body = NoticeLine(*rows[0]);
            if (kind == kFailing) notice.body += "\n原因：" + rows[0]->lastFailure.Reason();
            if (kind == kChanged) {
                notice.openRow = rows[0]->id;
                const std::string lines = NoticeChangeLines(rows[0]->change);
                if (!lines.empty()) notice.body += "\n" + lines;
            }
        } else {
            constexpr std::size_t kNamed = 3;
            notice.body = std::to_string(rows.size()) + kWording[kind].many;
            for (std::size_t i = 0; i < rows.size() && i < kNamed; ++i)
                notice.body += "\n" + (rows[i]->note.empty() ? rows[i]->url : rows[i]->note);
            if (rows.size() > kNamed) notice.body += "\n……";
        }
        notices.push_back(std::move(notice));
    }
    return notices;
}

}  // namespace sentrel
