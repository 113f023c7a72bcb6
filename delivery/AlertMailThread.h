#pragma once
#include <ctime>
#include <string>

#include "alerts/AlertEvent.h"
#include "base/Settings.h"
#include "delivery/MailProvider.h"
#include "delivery/MailResult.h"

namespace sentrel {

class CAlertMailThread;
class WorkerGroup;


/// What one alert mail needs, filled by the program. Texts of any length are carried.
struct AlertMailRequest {
    MailTarget hMainWnd;  ///< receives the mail's result
    EventKind nKind = EventKind::Changed;  ///< what happened to the page
    CAlertMailThread* pThread = nullptr;  ///< set by the CAlertMailThread constructor
    MailServer server;                    ///< where the mail goes, and from whom
    std::string szEmailRcv;               ///< recipient address
    std::string szSendUser;               ///< account user name
    std::string szSendPwd;                ///< account password
    std::string szKeyringServer;          ///< when szSendPwd is empty: the keyring keeps it
                                          ///< under this server and szSendUser
    std::string szUrl;                    ///< URL of the row
    std::string szReason;                 ///< why the page fails (kFailing)
    std::string szChanges;                ///< the page's changed lines, CR LF ended (kChanged)
};

/// The alert mail the settings' account sends: its server, sender and recipient, and the
/// password as the settings hold it, or, not read yet, where the keyring keeps it.
AlertMailRequest AlertMailOf(const Settings& settings, EventKind kind,
                             const std::string& url, const std::string& reason,
                             const std::string& changes = std::string());

/// Subject and body of an alert mail at `when` (the time text of FormatAlertTime).
void ComposeAlertMail(const AlertMailRequest& request, const std::string& when,
                      std::string& subject, std::string& body);

/// Sends a copy of the request's mail on a thread of `workers`; false (nothing started)
/// when no thread can be made.
bool StartAlertMailThread(const AlertMailRequest& request, WorkerGroup& workers);

/// Thread procedure: SendAlertMail on the request's thread object.
unsigned AlertMailThreadProc(void* pParam);

/// "2026-12-06 09:05:03" in local time: the time text of an alert mail.
std::string FormatAlertTime(std::time_t when);

/// One alert mail's work on its thread: it sends the mail and reports its result once.
class CAlertMailThread {
  public:
    explicit CAlertMailThread(AlertMailRequest* pRequest);

    /// Composes, sends and reports one alert mail: false when the mail client could not
    /// start (result -2), true when a send was attempted (result 0 or -1).
    bool SendAlertMail(AlertMailRequest* pRequest);

  private:
    MailTarget m_hMainWnd;
};

}  // namespace sentrel
