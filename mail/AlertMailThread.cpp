#include "AlertMailThread.h"

#include "Files.h"
#include "ReminderMail.h"
#include "ThreadMessages.h"
#include "WorkerGroup.h"

namespace sentrel {

std::string FormatAlertTime(std::time_t when) {
    std::tm t{};
    LocalTime(when, t);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
    return buf;
}

void ComposeAlertMail(const AlertMailRequest& r, const std::string& when, std::string& subject,
                      std::string& body) {
    switch (r.nKind) {
        case AlertMailRequest::kChanged:
            subject = "有更新！" + when;
            body = "相关网址：" + r.szUrl + "\r\n更新时间：" + when;
            break;
        case AlertMailRequest::kFailing:
            subject = "访问失败！" + when;
            body = "相关网址：" + r.szUrl + "\r\n原因：" + r.szReason + "\r\n时间：" + when;
            break;
        case AlertMailRequest::kRecovered:
            subject = "已恢复！" + when;
            body = "相关网址：" + r.szUrl + "\r\n恢复时间：" + when;
            break;
    }
    body += "\r\n\r\n无需回复本邮件！";
}

CAlertMailThread::CAlertMailThread(ThreadProc pfnThreadProc, AlertMailRequest* pRequest)
    : m_pfnThreadProc(pfnThreadProc), m_pParam(pRequest) {
    if (pRequest) pRequest->pThread = this;
}

bool CAlertMailThread::CreateThread() {
    return Workers().Spawn([this] {
        m_pfnThreadProc(m_pParam);
        delete this;
    });
}

bool CAlertMailThread::SendAlertMail(AlertMailRequest* pRequest) {
    m_hMainWnd = pRequest->hMainWnd;
    const std::string when = FormatAlertTime(std::time(nullptr));  // one time text, used twice
    std::string subject, body;
    ComposeAlertMail(*pRequest, when, subject, body);
    // The keyring is asked here, on the mail's own thread: never by the loop that probes.
    std::string password = pRequest->szSendPwd, reason;
    const int result =
        MailPassword(pRequest->szKeyringServer, pRequest->szSendUser, password, reason)
            ? SendReminderMail(pRequest->server, pRequest->szEmailRcv, pRequest->szSendUser,
                               password, subject, body)
            : -1;
    if (m_hMainWnd) m_hMainWnd->Post(WM_MAIL_RESULT, 0, result);
    return result != -2;  // false: the mail client could not start
}

bool StartAlertMailThread(const AlertMailRequest& request) {
    auto* copy = new AlertMailRequest(request);
    auto* thread = new CAlertMailThread(AlertMailThreadProc, copy);
    if (thread->CreateThread()) return true;
    delete thread;
    delete copy;
    return false;
}

unsigned AlertMailThreadProc(void* pParam) {
    AlertMailRequest* pRequest = static_cast<AlertMailRequest*>(pParam);
    pRequest->pThread->SendAlertMail(pRequest);
    delete pRequest;
    return 0;
}

}  // namespace sentrel
