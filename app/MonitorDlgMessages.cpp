// The one place where what watchers and mail threads post reaches the window. A message
// names its watch; the watch names the row by identity, so a message of an older run or
// of a row that is gone finds nothing and is dropped.
#include <wx/event.h>

#include "MonitorDlg.h"
#include "ThreadMessages.h"
#include "WatchThread.h"
#include "WxText.h"

namespace sentrel {

void CMonitorDlg::OnThreadMessage(wxThreadEvent& event) {
    const int nWatch = static_cast<int>(event.GetExtraLong());
    const int lParam = event.GetInt();
    switch (static_cast<unsigned>(event.GetId())) {
        case WM_PAGE_UPDATED: {
            int row = RowOfWatch(nWatch);
            if (row >= 0) MarkRowUpdated(row);
            break;
        }
        case WM_WATCH_ENDED:
            OnWatchEnded(nWatch, lParam);
            break;
        case WM_MAIL_RESULT:
            OnMailResult(lParam);
            break;
        case WM_PAGE_SIZE:
            OnPageSize(nWatch, lParam);
            break;
        default:
            break;
    }
}

int CMonitorDlg::RowOfWatch(int nWatch) const {
    auto it = m_run.watchers.find(nWatch);
    if (it == m_run.watchers.end()) return -1;
    return static_cast<int>(m_listUrls->FindItem(-1, static_cast<wxUIntPtr>(it->second.nRowId)));
}

int CMonitorDlg::WatchOfRow(int nItem) const {
    if (nItem < 0 || nItem >= m_listUrls->GetItemCount()) return -1;
    const long id = static_cast<long>(m_listUrls->GetItemData(nItem));
    for (const auto& [nWatch, watcher] : m_run.watchers)
        if (watcher.nRowId == id) return nWatch;
    return -1;
}

void CMonitorDlg::OnPageSize(int nWatch, int nSize) {
    const int row = RowOfWatch(nWatch);
    if (row < 0) return;
    RefreshRowStatus(row);
    // The stored count is the size the page had when its watcher last started, in this
    // run or an earlier one, so a change while nobody watched is caught here.
    const int stored = AtoiClamped(m_listUrls->GetItemText(row, 3).utf8_str());
    if (stored != 0 && stored != nSize) MarkRowUpdated(row);
    SetCell(row, 3, wxString::Format("%d", nSize));
    ScheduleSave();  // a measured size survives a crash too
}

void CMonitorDlg::OnWatchEnded(int nWatch, int nCode) {
    const int row = RowOfWatch(nWatch);
    m_run.watchers.erase(nWatch);
    if (row < 0) return;
    SetCell(row, 2, nCode == -1 ? U("网络失败！") : U("停止"));
}

void CMonitorDlg::OnMailResult(int nResult) {
    if (nResult == -2)
        SetStatusText(U("初始化Socket失败！"));
    else if (nResult == -1)
        SetStatusText(U("邮件发送失败！"));
    else
        SetStatusText(wxString());
}

}  // namespace sentrel
