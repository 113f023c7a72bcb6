// The one place where what watchers and mail threads post reaches the window. A watcher's
// message goes to the run's model, which finds the row by identity: a message of an older
// run or of a row that is gone finds nothing and is dropped.
#include <wx/event.h>

#include "CCore.h"
#include "MonitorDlg.h"
#include "ReminderMail.h"
#include "ThreadMessages.h"
#include "WxText.h"

namespace sentrel {

void CMonitorDlg::OnThreadMessage(wxThreadEvent& event) {
    const std::intptr_t wParam = event.GetExtraLong();
    const std::intptr_t lParam = event.GetInt();
    if (static_cast<unsigned>(event.GetId()) == WM_MAIL_RESULT)
        OnMailResult(static_cast<int>(lParam));
    else if (static_cast<unsigned>(event.GetId()) == WM_SECRET_MOVED && g_pCore)
        g_pCore->PasswordMoved(m_secretToMove.server, m_secretToMove.user, m_secretToMove.password);
    else
        m_session.Deliver(static_cast<unsigned>(event.GetId()), wParam, lParam);
}

int CMonitorDlg::WatchOfRow(int nItem) const {
    return m_session.WatchOfRow(RowIdAt(nItem));
}

void CMonitorDlg::OnMailResult(int nResult) {
    if (nResult == -2)
        SetStatusText(U("初始化Socket失败！"));
    else if (nResult == -1)
        SetStatusText(
            U("邮件发送失败！" +
              (LastMailFailure().empty() ? std::string() : "原因：" + LastMailFailure())));
    else
        SetStatusText(wxString());
}

}  // namespace sentrel
