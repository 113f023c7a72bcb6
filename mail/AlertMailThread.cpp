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
    const std::string url = pRequest->szUrl;
    const std::string recipient = pRequest->szEmailRcv;
    const std::string user = pRequest->szSendUser;
    const std::string password = pRequest->szSendPwd;
    const std::string when = FormatAlertTime(std::time(nullptr));  // one time text, used twice
    const std::string subject = "有更新！" + when;
    const std::string body =
        "相关网址：" + url + "\r\n更新时间：" + when + "\r\n\r\n无需回复本邮件！";
    const int result = SendReminderMail(recipient, user, password, subject, body);
    if (m_hMainWnd) m_hMainWnd->Post(WM_MAIL_RESULT, 0, result);
    return result != -2;  // false: the mail client could not start
}

unsigned AlertMailThreadProc(void* pParam) {
    AlertMailRequest* pRequest = static_cast<AlertMailRequest*>(pParam);
    pRequest->pThread->SendAlertMail(pRequest);
    delete pRequest;
    return 0;
}

}  // namespace sentrel
