#include "delivery/AlertMailThread.h"

#include "alerts/ChangeText.h"
#include "base/Translate.h"
#include "base/WorkerGroup.h"
#include "delivery/ReminderMail.h"
#include "platform/Files.h"

namespace sentrel {

std::string FormatAlertTime(std::time_t when) {
    return FormatLocalTime(when, "%Y-%m-%d %H:%M:%S");
}

AlertMailRequest AlertMailOf(const Settings& s, EventKind kind, const std::string& url,
                             const std::string& reason, const std::string& changes) {
    AlertMailRequest request;
    request.nKind = kind;
    request.server = ResolveMailServer(s.m_strSmtpHost, s.m_nSmtpPort, s.m_strSmtpSecurity,
                                       s.m_strMailFrom, s.m_strSendUser);
    request.szEmailRcv = s.m_strEmailRcv;
    request.szSendUser = s.m_strSendUser;
    request.szSendPwd = s.m_strSendPwd;
    if (s.m_bSendPwdInKeyring) request.szKeyringServer = KeyringServerOf(s.m_strSmtpHost);
    request.szUrl = url;
    request.szReason = reason;
    request.szChanges = changes;
    return request;
}

void ComposeAlertMail(const AlertMailRequest& r, const std::string& when, std::string& subject,
                      std::string& body) {
    switch (r.nKind) {
        case EventKind::Changed:
            subject = Fill(Tr("有更新！{0}"), {when});
            body = Tr("相关网址：") + r.szUrl + "\r\n" + r.szChanges + Tr("更新时间：") + when;
            break;
        case EventKind::Failing:
            subject = Fill(Tr("访问失败！{0}"), {when});
            body = Tr("相关网址：") + r.szUrl + "\r\n" + ReasonText(r.szReason) + "\r\n" +
                   Tr("时间：") + when;
            break;
        case EventKind::Recovered:
            subject = Fill(Tr("已恢复！{0}"), {when});
            body = Tr("相关网址：") + r.szUrl + "\r\n" + Tr("恢复时间：") + when;
            break;
        case EventKind::Quiet:  // never mailed
            break;
    }
    body += "\r\n\r\n" + Tr("无需回复本邮件！");
}

CAlertMailThread::CAlertMailThread(AlertMailRequest* pRequest) {
    if (pRequest) pRequest->pThread = this;
}

bool CAlertMailThread::SendAlertMail(AlertMailRequest* pRequest) {
    m_hMainWnd = pRequest->hMainWnd;
    const std::string when = FormatAlertTime(std::time(nullptr));  // one time text, used twice
    std::string subject, body;
    ComposeAlertMail(*pRequest, when, subject, body);
    // The keyring is asked here, on the mail's own thread: never by the loop that probes.
    std::string password = pRequest->szSendPwd;
    MailResult result;
    if (MailPassword(pRequest->szKeyringServer, pRequest->szSendUser, password, result.reason))
        result = SendReminderMail(pRequest->server, pRequest->szEmailRcv, pRequest->szSendUser,
                                  password, subject, body);
    else
        result.outcome = MailOutcome::NotSent;
    const bool started = result.outcome != MailOutcome::NoClient;
    if (m_hMainWnd) m_hMainWnd->Post(std::move(result));
    return started;
}

bool StartAlertMailThread(const AlertMailRequest& request, WorkerGroup& workers) {
    return workers.Spawn([copy = request]() mutable { AlertMailThreadProc(&copy); });
}

unsigned AlertMailThreadProc(void* pParam) {
    AlertMailRequest* pRequest = static_cast<AlertMailRequest*>(pParam);
    CAlertMailThread thread(pRequest);
    pRequest->pThread->SendAlertMail(pRequest);
    return 0;
}

}  // namespace sentrel
