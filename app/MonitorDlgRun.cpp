// Starting and stopping monitoring: the checks before a start, one watcher per row, and
// the two buttons whose active flags are the monitoring state.
#include <wx/wupdlock.h>

#include "CCore.h"
#include "MonitorDlg.h"
#include "WatchThread.h"
#include "WxText.h"

namespace sentrel {

namespace {

constexpr int kMaxWatchedUrls = 50;

}  // namespace

void CMonitorDlg::OnStart() {
    if (!m_btnStart->IsActive()) return;
    if (CanStartMonitoring())
        StartMonitoring();
    else
        m_btnStart->SetActive(true);
}

bool CMonitorDlg::CanStartMonitoring() {
    m_nUrlCount = m_listUrls->GetItemCount();
    const char* warning = nullptr;
    if (m_nUrlCount == 0)
        warning = "列表中没有发现任何要监控的网址！";
    else if (m_nUrlCount > kMaxWatchedUrls)
        warning = "不允许同时监控50个以上的网址！";
    else if (m_settings.m_nInterval < 1)
        warning = "监控间隔不能小于1秒！";
    if (!warning) return true;
    g_pCore->msgboxWarning(this, warning);
    return false;
}

void CMonitorDlg::StartMonitoring() {
    m_btnStart->SetActive(false);
    SetStatusText(U("准备启动..."));
    // A new flag for each run: watchers of the previous run keep their own "STOP", and
    // none of their late messages matches a watch of this run.
    m_run = RunState();
    m_run.nRunNumber = ++m_nRunCount;
    m_run.m_szRunFlag = CRunFlag::MakeChild(m_pExitFlag, "RUN");
    for (int i = 0; i < m_nUrlCount; ++i) {
        SetStatusText(wxString::Format(U("正在启动监控线程 %d"), i));
        const int nWatch = ++m_nNextWatch;
        Watcher watcher;
        watcher.nRowId = static_cast<long>(m_listUrls->GetItemData(i));
        watcher.pStop = CRunFlag::MakeChild(m_run.m_szRunFlag, "RUN");
        auto* entry = new WatchEntry;
        entry->hMainWnd = m_pPostTarget;
        entry->nItem = nWatch;
        entry->nInterval = m_settings.m_nInterval;
        entry->pszRunFlag = watcher.pStop;
        entry->szUrl = m_listUrls->GetItemText(i, 0).utf8_string();
        auto* thread = new CWatchThread(WatchThreadProc, entry);
        if (!thread->CreateThread()) {
            delete thread;
            delete entry;
            FailStart();
            return;
        }
        m_run.watchers.emplace(nWatch, std::move(watcher));
    }
    SetStatusText(wxString::Format(U("共 %d 条网址记录！"), m_nUrlCount));
    m_btnStop->SetActive(true);
}

void CMonitorDlg::FailStart() {
    // The watchers of this start that already run are stopped, and Start is usable again:
    // a half-started run that neither button can end would help nobody.
    m_run.m_szRunFlag->Set("STOP");
    ShowCannotStartThread();
    ShowWaitingToStop();
    m_btnStop->SetActive(false);
    m_btnStart->SetActive(true);
}

void CMonitorDlg::OnStop() {
    if (!m_btnStop->IsActive()) return;
    m_btnStop->SetActive(false);
    m_run.m_szRunFlag->Set("STOP");
    SetStatusText(U("用户停止！"));
    ShowWaitingToStop();
    m_btnStart->SetActive(true);
}

void CMonitorDlg::ShowWaitingToStop() {
    // The rows whose watchers are still to report their end, wherever edits moved them;
    // a row added since the start has no watcher to wait for.
    wxWindowUpdateLocker batch(m_listUrls);
    for (const auto& [nWatch, watcher] : m_run.watchers)
        SetCell(RowOfWatch(nWatch), 2, U("等待停止..."));
}

void CMonitorDlg::StopWatchersOfRow(long nRowId) {
    for (auto it = m_run.watchers.begin(); it != m_run.watchers.end();) {
        if (it->second.nRowId == nRowId) {
            // This watcher alone; the others of the run go on.
            it->second.pStop->Set("STOP");
            it = m_run.watchers.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace sentrel
