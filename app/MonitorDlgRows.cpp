// The rows of the list: identities, the updated-row set, red rows, status and size
// columns, and the alert mail a mark sends.
#include <wx/msgdlg.h>

#include <sstream>
#include <vector>

#include "AlertMailThread.h"
#include "MonitorDlg.h"
#include "WxText.h"

namespace sentrel {

namespace {

std::string Entry(int nItem) {
    return "," + std::to_string(nItem) + ",";
}

// The set ",3,7," as its row numbers, in the order they were marked.
std::vector<int> ParseSet(const std::string& set) {
    std::vector<int> rows;
    std::istringstream in(set);
    std::string part;
    while (std::getline(in, part, ','))
        if (!part.empty()) rows.push_back(std::stoi(part));
    return rows;
}

std::string FormatSet(const std::vector<int>& rows) {
    std::string set = ",";
    for (int r : rows) set += std::to_string(r) + ",";
    return set;
}

}  // namespace

long CMonitorDlg::AppendRow(const wxString& url, const wxString& note, const wxString& status,
                            const wxString& size) {
    long row = m_listUrls->InsertItem(m_listUrls->GetItemCount(), url);
    m_listUrls->SetItem(row, 1, note);
    m_listUrls->SetItem(row, 2, status);
    m_listUrls->SetItem(row, 3, size);
    // The row's identity: what a watcher's messages find the row by, wherever it moved.
    m_listUrls->SetItemData(row, ++m_nNextRowId);
    return row;  // a new row is never in the set: its marks start with its first change
}

int CMonitorDlg::GetFirstSelectedRow() const {
    return static_cast<int>(m_listUrls->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void CMonitorDlg::DeleteSelectedRows() {
    std::vector<int> marked = ParseSet(m_strUpdatedRows);
    for (int r = GetFirstSelectedRow(); r >= 0; r = GetFirstSelectedRow()) {
        StopWatchersOfRow(static_cast<long>(m_listUrls->GetItemData(r)));
        m_listUrls->DeleteItem(r);
        // A mark belongs to its page: it goes with a deleted row and moves up with the
        // rows below, so no other page turns red and Open URL clears the right one.
        std::vector<int> kept;
        for (int m : marked)
            if (m != r) kept.push_back(m > r ? m - 1 : m);
        marked.swap(kept);
    }
    // Each row's colour went with it, as its mark did.
    m_strUpdatedRows = FormatSet(marked);
    ScheduleSave();
    if (m_settings.m_bAlertWav) UpdateBlinking();
}

bool CMonitorDlg::IsRowMarked(int nItem) const {
    return m_strUpdatedRows.find(Entry(nItem)) != std::string::npos;
}

void CMonitorDlg::SetCell(int nItem, int nColumn, const wxString& text) {
    if (nItem < 0 || nItem >= m_listUrls->GetItemCount()) return;
    m_listUrls->SetItem(nItem, nColumn, text);
}

void CMonitorDlg::SetRowUpdated(int nItem, bool bUpdated) {
    if (nItem < 0 || nItem >= m_listUrls->GetItemCount()) return;
    const std::string entry = Entry(nItem);
    const std::size_t at = m_strUpdatedRows.find(entry);
    if (bUpdated) {
        if (at == std::string::npos) {
            m_strUpdatedRows += std::to_string(nItem) + ",";
            SetCell(nItem, 2, U("有更新！"));
        }
    } else if (at != std::string::npos) {
        m_strUpdatedRows.replace(at, entry.size(), ",");
        RefreshRowStatus(nItem);
    }
    OnCustomDrawList(nItem);
    if (m_settings.m_bAlertWav) UpdateBlinking();
    // One mail per reported change, also for a row that was marked already.
    if (m_settings.m_bAlertEmail && bUpdated) StartAlertMail(nItem);
}

void CMonitorDlg::RefreshRowStatus(int nItem) {
    SetCell(nItem, 2, m_run.m_szRunFlag->Text() == "RUN" ? U("监控中") : U("停止"));
}

void CMonitorDlg::OnCustomDrawList(int nItem) {
    // The whole row is red while it is in the set; the background is the list's.
    m_listUrls->SetItemTextColour(nItem,
                                  IsRowMarked(nItem) ? wxColour(255, 0, 0) : wxColour(0, 0, 0));
}

void CMonitorDlg::StartAlertMail(int nItem) {
    auto* request = new AlertMailRequest;
    request->hMainWnd = m_pPostTarget;
    request->szEmailRcv = m_settings.m_strEmailRcv;
    request->szSendUser = m_settings.m_strSendUser;
    request->szSendPwd = m_settings.m_strSendPwd;
    request->szUrl = m_listUrls->GetItemText(nItem, 0).utf8_string();
    auto* thread = new CAlertMailThread(AlertMailThreadProc, request);
    if (!thread->CreateThread()) {
        delete thread;
        delete request;
        ShowCannotStartThread();
    }
}

}  // namespace sentrel
