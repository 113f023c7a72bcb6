// The mail password: kept in the desktop keyring where there is one, under the server and
// user it was stored for; else sealed in the settings file (see Secret.h).
#include "base/MailAccount.h"
#include "platform/Keyring.h"
#include "support/CCore.h"

namespace sentrel {

namespace {
const std::string kSecretKey = keys::kSendPwd.name;
}  // namespace

std::string CCore::KeyringServer() {
    return KeyringServerOf(Raw(keys::kSmtpHost.name));
}

bool CCore::KnownPassword(std::string& password) {
    EnsureLoaded();
    auto it = m_values.find(kSecretKey);
    if (it != m_values.end() && !it->second.empty()) {
        password = it->second;  // in the file
        return true;
    }
    if (m_strKeyringFor != KeyringServer() + "\n" + Raw(keys::kSendUser.name)) return false;
    password = m_strKeyringPwd;  // read from the keyring before
    return true;
}

std::string CCore::Get(const SettingKey<std::string>& key) {
    if (key.kind != SettingKind::Secret) return Raw(key.name);
    std::string password;
    if (KnownPassword(password)) return password;
    // Not in the file: in the keyring, under the server and user it was stored for.
    const std::string server = KeyringServer(), user = Raw(keys::kSendUser.name);
    if (user.empty()) return std::string();
    std::string why;
    switch (KeyringLookup(server, user, password, why)) {
        case KeyringAnswer::kYes:
            m_bInKeyring = true;
            break;
        case KeyringAnswer::kNo:
            m_bInKeyring = false;
            password.clear();
            break;
        case KeyringAnswer::kNoKeyring:
        case KeyringAnswer::kNoAnswer:
            return std::string();  // not known: asked again next time
    }
    m_strKeyringFor = server + "\n" + user;
    m_strKeyringPwd = password;
    return password;
}

bool CCore::PasswordToMove(std::string& server, std::string& user, std::string& password) {
    EnsureLoaded();
    auto it = m_values.find(kSecretKey);
    server = KeyringServer();
    user = Raw(keys::kSendUser.name);
    if (it == m_values.end() || it->second.empty() || user.empty()) return false;
    password = it->second;
    return !(m_bInKeyring && m_strKeyringFor == server + "\n" + user &&
             m_strKeyringPwd == password);
}

void CCore::PasswordMoved(const std::string& server, const std::string& user,
                          const std::string& password) {
    std::string s, u, p;
    if (!PasswordToMove(s, u, p) || s != server || u != user || p != password) return;
    m_strKeyringFor = server + "\n" + user;
    m_strKeyringPwd = password;
    m_bInKeyring = true;
    m_bDirty = true;
    if (m_nBatch == 0) Write();  // the file without it
}

bool CCore::MoveSecretToKeyring() {
    auto it = m_values.find(kSecretKey);
    const std::string user = Raw(keys::kSendUser.name);
    if (it == m_values.end() || user.empty()) return false;
    const std::string server = KeyringServer();
    const std::string key = server + "\n" + user;
    std::string why;
    if (it->second.empty()) {
        // No password any more: none may be left in the keyring to come back from.
        if (m_strKeyringFor != key || m_bInKeyring) {
            const KeyringAnswer cleared = KeyringClear(server, user, why);
            if (cleared == KeyringAnswer::kYes || cleared == KeyringAnswer::kNoKeyring) {
                m_strKeyringFor = key;
                m_strKeyringPwd.clear();
                m_bInKeyring = false;
            }
        }
        return false;  // the file says there is none
    }
    if (m_strKeyringFor == key && m_strKeyringPwd == it->second && m_bInKeyring) return true;
    if (KeyringStore(server, user, it->second, why) != KeyringAnswer::kYes) {
        m_strKeyringProblem = why.empty() ? "the keyring did not answer" : why;
        return false;  // the file (owner-only) keeps it, as before
    }
    m_strKeyringProblem.clear();
    m_strKeyringFor = key;
    m_strKeyringPwd = it->second;
    m_bInKeyring = true;
    return true;
}

}  // namespace sentrel
