// Starting and stopping monitoring: the checks before a start, and the two buttons whose
// active flags are the monitoring state. The run itself is the model's.
#include <wx/wupdlock.h>

#include "app/MonitorDlg.h"
#include "controls/Notice.h"
#include "controls/SkinButton.h"
#include "controls/WxText.h"

namespace sentrel {

void CMonitorDlg::OnStart() {
    if (!m_btnStart->IsActive()) return;
    if (CanStartMonitoring())
        StartMonitoring();
    else
        m_btnStart->SetActive(true);
}

bool CMonitorDlg::CanStartMonitoring() {
    m_nUrlCount = m_session.RowCount();
    const AlertPolicy::Refusal refusal = m_policy.CanStart();
    if (refusal == AlertPolicy::kNone) return true;
    ShowNotice(this, AlertPolicy::RefusalText(refusal));
    return false;
}

void CMonitorDlg::StartMonitoring() {
    m_btnStart->SetActive(false);
    SetStatusText(TrW("准备启动..."));
    WatchSession::RunOptions options = m_policy.RunOptions();
    options.onStarting = [this](int i) {
        SetStatusText(U(Fill(Tr("正在启动监控线程 {0}"), {std::to_string(i)})));
    };
    if (!m_session.Start(options)) {
        // The watchers of this start that already run are stopped, and Start is usable
        // again: a half-started run that neither button can end would help nobody.
        ShowCannotStartThread(this);
        m_btnStop->SetActive(false);
        m_btnStart->SetActive(true);
        return;
    }
    SetStatusText(U(Fill(TrN("共 {0} 条网址记录！", "共 {0} 条网址记录！", m_nUrlCount),
                         {std::to_string(m_nUrlCount)})));
    m_btnStop->SetActive(true);
    UpdateAttention();
}

void CMonitorDlg::OnStop() {
    if (!m_btnStop->IsActive()) return;
    m_btnStop->SetActive(false);
    SetStatusText(TrW("用户停止！"));
    {
        wxWindowUpdateLocker batch(m_listUrls);
        m_session.Stop();
    }
    m_btnStart->SetActive(true);
    UpdateAttention();
}

}  // namespace sentrel
