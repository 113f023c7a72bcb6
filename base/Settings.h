#pragma once
// The settings, each declared once, in the table below: its field, its typed key, its name
// in sentrel.ini, its kind, its default and (for numbers) its bounds. The settings struct,
// the typed keys, the settings file and the options dialog all come from this table, in its
// order (the order the file is written in).
#include <algorithm>
#include <string>

namespace sentrel {

enum class SettingKind {
    Int,
    Bool,
    Text,
    Secret,  ///< text kept out of the file where a keyring takes it (the mail password)
};

// X(kind, field, key, name in sentrel.ini, default, least, most)
#define SENTREL_SETTINGS(X)                                                \
    X(Int, m_nInterval, kInterval, "interval", 60, 1, 365 * 86400)         \
    X(Text, m_strEmailRcv, kEmailRcv, "emailrcv", "", 0, 0)                \
    X(Text, m_strSendUser, kSendUser, "senduser", "", 0, 0)                \
    X(Secret, m_strSendPwd, kSendPwd, "sendpwd", "", 0, 0)                 \
    X(Bool, m_bAlertWav, kAlertWav, "balertwav", true, 0, 0)               \
    X(Bool, m_bAlertEmail, kAlertEmail, "balertemail", false, 0, 0)        \
    X(Int, m_nFailAfter, kFailAfter, "failafter", 2, 1, 1000)              \
    X(Bool, m_bMailOnFailure, kMailOnFailure, "bmailfail", false, 0, 0)    \
    X(Bool, m_bNotify, kNotify, "bnotify", true, 0, 0)                     \
    X(Text, m_strSmtpHost, kSmtpHost, "smtphost", "", 0, 0)                \
    X(Int, m_nSmtpPort, kSmtpPort, "smtpport", 0, 0, 65535)                \
    X(Text, m_strSmtpSecurity, kSmtpSecurity, "smtpsecurity", "ssl", 0, 0) \
    X(Text, m_strMailFrom, kMailFrom, "mailfrom", "", 0, 0)                \
    X(Text, m_strLanguage, kLanguage, "language", "", 0, 0)                \
    X(Int, m_nWindowWidth, kWindowWidth, "windowwidth", 0, 0, 20000)       \
    X(Int, m_nWindowHeight, kWindowHeight, "windowheight", 0, 0, 20000)    \
    X(Text, m_strColumns, kColumns, "columns", "", 0, 0)                   \
    X(Text, m_strWebhook, kWebhook, "webhook", "", 0, 0)                   \
    X(Text, m_strNtfy, kNtfy, "ntfy", "", 0, 0)                            \
    X(Bool, m_bWebhook, kBWebhook, "bwebhook", true, 0, 0)                 \
    X(Text, m_strBrowser, kBrowser, "browser", "", 0, 0)                   \
    X(Int, m_nHistoryDepth, kHistoryDepth, "historydepth", 50, 1, 1000)    \
    X(Int, m_nHistoryMb, kHistoryMb, "historymb", 64, 1, 4096)           \
    X(Text, m_strProxy, kProxy, "proxy", "", 0, 0)

template <SettingKind K>
struct SettingType {
    using type = std::string;
};
template <>
struct SettingType<SettingKind::Int> {
    using type = int;
};
template <>
struct SettingType<SettingKind::Bool> {
    using type = bool;
};

/// The settings' values, by the names the program gives its fields.
struct Settings {
#define SENTREL_FIELD(kind, field, key, name, def, least, most) \
    SettingType<SettingKind::kind>::type field = def;
    SENTREL_SETTINGS(SENTREL_FIELD)
#undef SENTREL_FIELD
    /// Not stored: the password is the keyring's and has not been read (m_strSendPwd empty).
    bool m_bSendPwdInKeyring = false;
};

/// A setting's typed key: its name, its field, its default and its bounds.
template <typename T>
struct SettingKey {
    const char* name;
    SettingKind kind;
    T Settings::*field;
    T fallback;  ///< the value of a setting never stored
    int least = 0, most = 0;

    /// A number brought within the setting's bounds.
    int Clamp(int value) const { return std::min(std::max(value, least), most); }
    bool InBounds(long long value) const { return value >= least && value <= most; }
};

namespace keys {
#define SENTREL_KEY(kind, field, key, name, def, least, most)          \
    inline const SettingKey<SettingType<SettingKind::kind>::type> key{ \
        name, SettingKind::kind, &Settings::field, def, least, most};
SENTREL_SETTINGS(SENTREL_KEY)
#undef SENTREL_KEY
}  // namespace keys

/// Calls `visit` with each setting's key, in the table's order.
template <typename Visit>
void ForEachSetting(Visit&& visit) {
#define SENTREL_VISIT(kind, field, key, name, def, least, most) visit(keys::key);
    SENTREL_SETTINGS(SENTREL_VISIT)
#undef SENTREL_VISIT
}

}  // namespace sentrel
