#include "delivery/MailDispatcher.h"

namespace sentrel {

MailDispatcher::MailDispatcher(const Settings& settings, MailTarget results,
                               std::function<void()> noThread)
    : m_settings(settings), m_fnNoThread(std::move(noThread)) {
    m_pCounted = std::make_shared<PostTarget<MailResult>>(
        [out = m_pOut, results = std::move(results)](MailResult result) {
            --*out;
            if (results) results->Post(std::move(result));
        });
}

MailDispatcher::~MailDispatcher() {
    Close(std::chrono::milliseconds(0));
}

void MailDispatcher::Send(const AlertMail& mail) {
    AlertMailRequest request = AlertMailOf(m_settings, mail.kind, mail.url, mail.reason, mail.changes);
    request.hMainWnd = m_pCounted;
    ++*m_pOut;
    if (StartAlertMailThread(request, m_workers)) return;
    --*m_pOut;
    if (m_fnNoThread) m_fnNoThread();
}

void MailDispatcher::Close(std::chrono::milliseconds bound) {
    m_pCounted->Close();
    m_workers.JoinAll(bound);
}

}  // namespace sentrel
