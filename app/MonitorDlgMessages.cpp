// Where what mail threads post reaches the window. (A watcher's message goes to the run's
// model itself, which finds the row by identity: see WatchSession::Inbox.)
#include <wx/event.h>

#include "alerts/ChangeText.h"
#include "app/MonitorDlg.h"
#include "controls/WxText.h"

namespace sentrel {

void CMonitorDlg::OnMailResult(const MailResult& result) {
    if (result.outcome == MailOutcome::NoClient)
        SetStatusText(TrW("初始化Socket失败！"));
    else if (result.outcome == MailOutcome::NotSent)
        SetStatusText(U(Tr("邮件发送失败！") +
                        (result.reason.empty() ? std::string() : ReasonText(result.reason))));
    else
        SetStatusText(wxString());
}

}  // namespace sentrel
