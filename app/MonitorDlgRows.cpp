// The rows of the list over the run's model, and what the alert policy asks of the window:
// the list redraws, the tray blinks.
#include <wx/wupdlock.h>

#include "app/MonitorDlg.h"
#include "controls/Notice.h"
#include "controls/WxText.h"

namespace sentrel {

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
        ids.push_back(m_session.Row(static_cast<int>(m_model->GetRow(i))).id);
    m_bBulk = true;
    // A mark belongs to its page: it goes with a deleted row, and no other page turns red.
    for (RowId id : ids) m_session.RemoveRow(id);
    m_bBulk = false;
    ResetListView();
    m_policy.ListChanged();
}

void CMonitorDlg::SetRowUpdated(RowId id, bool bUpdated) {
    m_session.SetMarked(id, bUpdated);
}

void CMonitorDlg::RefreshUpdatedRows() {
    m_strUpdatedRows = ",";
    for (RowId id : m_session.Marks())
        m_strUpdatedRows += std::to_string(m_session.IndexOf(id)) + ",";
}

void CMonitorDlg::OnWatchEvent(const WatchEvent& e) {
    switch (e.kind) {
        case WatchEvent::RowChanged: {
            const int row = m_session.IndexOf(e.id);
            if (!m_bBulk && row >= 0) m_model->RowChanged(static_cast<unsigned>(row));
            break;
        }
        case WatchEvent::RowsChanged:
            RefreshUpdatedRows();
            if (m_bBulk) break;
            // A row added at the end keeps the selection; anything else is shown anew.
            if (m_model->GetCount() + 1 == static_cast<unsigned>(m_session.RowCount()) &&
                m_session.IndexOf(e.id) == m_session.RowCount() - 1)
                m_model->RowAppended();
            else
                ResetListView();
            break;
        case WatchEvent::Marked:
        case WatchEvent::Unmarked:
            RefreshUpdatedRows();
            UpdateAttention();
            break;
        case WatchEvent::Failing: {
            const std::string since = m_policy.FailingSince(m_session.Row(m_session.IndexOf(e.id)));
            if (!since.empty()) SetStatusText(U(since));
            break;
        }
        case WatchEvent::SizeStored:
        case WatchEvent::Recovered:
        case WatchEvent::Ended:
        case WatchEvent::Quiet:  // kept as a version, nothing to show
            break;
    }
}

void CMonitorDlg::WakePolicyAt(std::chrono::steady_clock::time_point when) {
    if (when == std::chrono::steady_clock::time_point::max()) return;
    const auto ms =
        std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
    m_timerPolicy.StartOnce(static_cast<int>(std::max<long long>(1, ms.count())));
}

}  // namespace sentrel
