// The rows of the list over the run's model, and what the model's transitions set off:
// the list redraws, the tray blinks, the alert mails go out.
#include <wx/wupdlock.h>

#include <ctime>

#include "AlertMailThread.h"
#include "CCore.h"
#include "Files.h"
#include "MonitorDlg.h"
#include "Notice.h"
#include "WatchThread.h"
#include "WxText.h"

namespace sentrel {

long CMonitorDlg::AppendRow(const wxString& url, const wxString& note, const wxString& size,
                            const std::string& etag, const std::string& lastModified) {
    // The row's identity is the model's: what a watcher's messages find the row by.
    m_session.AddRow(S(url), S(note), AtoiClamped(size.utf8_str()), etag, lastModified);
    // A new row is never marked: its marks start with its first change.
    return m_session.RowCount() - 1;
}

RowId CMonitorDlg::RowIdAt(int nItem) const {
    if (nItem < 0 || nItem >= m_session.RowCount()) return 0;
    return m_session.Row(nItem).id;
}

wxString CMonitorDlg::CellText(int nRow, int nColumn) const {
    if (nRow < 0 || nRow >= m_session.RowCount()) return wxString();
    return CUrlListModel::CellText(m_session.Row(nRow), static_cast<unsigned>(nColumn));
}

wxColour CMonitorDlg::RowColour(int nRow) const {
    if (nRow < 0 || nRow >= m_session.RowCount()) return wxColour();
    return CUrlListModel::RowColour(m_session.Row(nRow));
}

std::string CMonitorDlg::UpdatedRows() const {
    std::string set = ",";
    for (RowId id : m_session.Marks()) set += std::to_string(m_session.IndexOf(id)) + ",";
    return set;
}

int CMonitorDlg::GetFirstSelectedRow() const {
    const wxDataViewItem item = m_listUrls->GetSelection();
    if (item.IsOk()) return static_cast<int>(m_model->GetRow(item));
    wxDataViewItemArray items;
    if (m_listUrls->GetSelections(items) == 0) return -1;
    int first = -1;
    for (const wxDataViewItem& i : items) {
        const int row = static_cast<int>(m_model->GetRow(i));
        if (first < 0 || row < first) first = row;
    }
    return first;
}

void CMonitorDlg::SelectRows(const std::vector<int>& rows) {
    wxDataViewItemArray items;
    for (int r : rows)
        if (r >= 0 && r < m_session.RowCount()) items.push_back(m_model->GetItem(r));
    m_listUrls->SetSelections(items);
}

void CMonitorDlg::ResetListView() {
    m_model->Reset(static_cast<unsigned>(m_session.RowCount()));
}

void CMonitorDlg::DeleteSelectedRows() {
    wxDataViewItemArray items;
    m_listUrls->GetSelections(items);
    if (items.empty()) return;
    std::vector<RowId> ids;
    for (const wxDataViewItem& i : items)
        ids.push_back(RowIdAt(static_cast<int>(m_model->GetRow(i))));
    m_bBulk = true;
    // A mark belongs to its page: it goes with a deleted row, and no other page turns red.
    for (RowId id : ids) m_session.RemoveRow(id);
    m_bBulk = false;
    ResetListView();
    ScheduleSave();
    if (m_settings.m_bAlertWav) UpdateBlinking();
}

void CMonitorDlg::SetRowUpdated(int nItem, bool bUpdated) {
    m_session.SetMarked(RowIdAt(nItem), bUpdated);
}

void CMonitorDlg::OnWatchEvent(const WatchEvent& e) {
    switch (e.kind) {
        case WatchEvent::RowChanged: {
            const int row = m_session.IndexOf(e.id);
            if (!m_bBulk && row >= 0) m_model->RowChanged(static_cast<unsigned>(row));
            break;
        }
        case WatchEvent::RowsChanged:
            if (m_bBulk) break;
            // A row added at the end keeps the selection; anything else is shown anew.
            if (m_model->GetCount() + 1 == static_cast<unsigned>(m_session.RowCount()) &&
                m_session.IndexOf(e.id) == m_session.RowCount() - 1)
                m_model->RowAppended();
            else
                ResetListView();
            break;
        case WatchEvent::SizeStored:
            ScheduleSave();  // a measured size survives a crash too
            break;
        case WatchEvent::Marked:
            if (m_settings.m_bAlertWav) UpdateBlinking();
            UpdateAttention();
            if (e.bNewMark) QueueNotice(NoticeBatch::kChanged, e.id);
            // One mail per reported change, also for a row that was marked already.
            if (m_settings.m_bAlertEmail) StartAlertMail(e.id, AlertMailRequest::kChanged);
            break;
        case WatchEvent::Unmarked:
            if (m_settings.m_bAlertWav) UpdateBlinking();
            UpdateAttention();
            break;
        case WatchEvent::Failing:
            ShowFailingSince(m_session.IndexOf(e.id));
            QueueNotice(NoticeBatch::kFailing, e.id);
            if (m_settings.m_bAlertEmail && m_settings.m_bMailOnFailure)
                StartAlertMail(e.id, AlertMailRequest::kFailing);
            break;
        case WatchEvent::Recovered:
            QueueNotice(NoticeBatch::kRecovered, e.id);
            if (m_settings.m_bAlertEmail && m_settings.m_bMailOnFailure)
                StartAlertMail(e.id, AlertMailRequest::kRecovered);
            break;
        case WatchEvent::Ended:
            break;
    }
}

void CMonitorDlg::QueueNotice(NoticeBatch::Kind kind, RowId id) {
    if (!m_settings.m_bNotify || !m_pNotifier) return;
    // A start after a night away, or a site's outage, may mark or fail many pages at
    // once: one notification for each kind of them.
    if (m_notices.Add(kind, id))
        m_timerNotify.StartOnce(static_cast<int>(NoticeBatch::kWindow.count()));
}

void CMonitorDlg::ShowNotices() {
    for (const DesktopNotice& notice : m_notices.Flush(m_session))
        if (m_pNotifier) m_pNotifier->Show(notice);
}

void CMonitorDlg::ShowFailingSince(int nRow) {
    if (nRow < 0 || nRow >= m_session.RowCount()) return;
    const WatchRow& row = m_session.Row(nRow);
    if (row.status != RowStatus::Failing || row.failingSince == 0) return;
    std::tm t{}, today{};
    LocalTime(row.failingSince, t);
    LocalTime(std::time(nullptr), today);
    // The status line is short: the date only when it is not today's.
    const bool sameDay = t.tm_yday == today.tm_yday && t.tm_year == today.tm_year;
    char when[32];
    std::strftime(when, sizeof when, sameDay ? "%H:%M:%S" : "%m-%d %H:%M", &t);
    SetStatusText(U(std::string(when) + " 起访问失败"));
}

void CMonitorDlg::StartAlertMail(RowId id, AlertMailRequest::Kind kind) {
    const int index = m_session.IndexOf(id);
    if (index < 0) return;
    const WatchRow& row = m_session.Row(index);
    AlertMailRequest request;
    request.hMainWnd = m_pPostTarget;
    request.nKind = kind;
    request.server = ResolveMailServer(m_settings.m_strSmtpHost, m_settings.m_nSmtpPort,
                                       m_settings.m_strSmtpSecurity, m_settings.m_strMailFrom,
                                       m_settings.m_strSendUser);
    request.szEmailRcv = m_settings.m_strEmailRcv;
    request.szSendUser = m_settings.m_strSendUser;
    request.szSendPwd = m_settings.m_strSendPwd;
    if (m_settings.m_bSendPwdInKeyring && g_pCore)
        request.szKeyringServer = g_pCore->KeyringServer();
    request.szUrl = row.url;
    request.szReason = row.lastFailure.Reason();
    if (!StartAlertMailThread(request)) ShowCannotStartThread(this);
}

}  // namespace sentrel
