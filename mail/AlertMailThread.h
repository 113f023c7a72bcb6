#pragma once
#include <ctime>
#include <string>

#include "MailProvider.h"
#include "PostTarget.h"

namespace sentrel {

class CAlertMailThread;

/// What one alert mail needs, filled by the main window; owned by the thread once it runs.
/// Texts of any length are carried.
struct AlertMailRequest {
    /// What happened to the page.
    enum Kind { kChanged, kFailing, kRecovered };
    PostTargetPtr hMainWnd;  ///< receives WM_MAIL_RESULT
    Kind nKind = kChanged;
    CAlertMailThread* pThread = nullptr;  ///< set by the CAlertMailThread constructor
    MailServer server;                    ///< where the mail goes, and from whom
    std::string szEmailRcv;               ///< recipient address
    std::string szSendUser;               ///< account user name
    std::string szSendPwd;                ///< account password
    std::string szKeyringServer;          ///< when szSendPwd is empty: the keyring keeps it
                                          ///< under this server and szSendUser
    std::string szUrl;                    ///< URL of the row
    std::string szReason;                 ///< why the page fails (kFailing)
};

/// Subject and body of an alert mail at `when` (the time text of FormatAlertTime).
void ComposeAlertMail(const AlertMailRequest& request, const std::string& when,
                      std::string& subject, std::string& body);

/// Sends a copy of the request's mail on a thread of its own; false (nothing started) when
/// no thread can be made.
bool StartAlertMailThread(const AlertMailRequest& request);

/// Thread procedure: SendAlertMail on the request's thread object, then frees the request.
unsigned AlertMailThreadProc(void* pParam);

/// "2026-12-06 09:05:03" in local time: the time text of an alert mail.
std::string FormatAlertTime(std::time_t when);

/// One short-lived thread that sends one alert mail and reports WM_MAIL_RESULT once.
class CAlertMailThread {
  public:
    using ThreadProc = unsigned (*)(void*);
    CAlertMailThread(ThreadProc pfnThreadProc, AlertMailRequest* pRequest);
    virtual ~CAlertMailThread() = default;

    /// Starts the thread; on success it owns this object and deletes it when it ends.
    bool CreateThread();

    /// Composes, sends and reports one alert mail: false when the mail client could not
    /// start (result -2), true when a send was attempted (result 0 or -1).
    bool SendAlertMail(AlertMailRequest* pRequest);

  private:
    ThreadProc m_pfnThreadProc;
    void* m_pParam;
    PostTargetPtr m_hMainWnd;
};

}  // namespace sentrel
