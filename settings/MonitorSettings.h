#pragma once
#include <string>

namespace sentrel {

/// The settings: read at start-up, stored at exit, edited in between by Options.
struct MonitorSettings {
    int m_nInterval = 0;
    bool m_bAlertWav = false;
    bool m_bAlertEmail = false;
    std::string m_strEmailRcv;
    std::string m_strSendUser;  ///< lower case, without the provider's "@domain"
    std::string m_strSendPwd;
    bool m_bSendPwdInKeyring = false;       ///< the password is the keyring's, not read yet
    int m_nFailAfter = 2;                   ///< failed probes in a row before a row shows a failure
    bool m_bMailOnFailure = false;          ///< mail also when a page fails or recovers
    bool m_bNotify = true;                  ///< desktop notifications
    std::string m_strSmtpHost;              ///< empty: the built-in server
    int m_nSmtpPort = 0;                    ///< 0: the port of the security
    std::string m_strSmtpSecurity = "ssl";  ///< "ssl", "starttls" or "none"
    std::string m_strMailFrom;              ///< empty: the user name at the provider's domain
};

}  // namespace sentrel
