#pragma once
#include <map>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "support/ProgramPaths.h"

namespace sentrel {

/// Settings store, program directory and database connection string; no GUI.
/// Settings live in sentrel.ini, the keys of the settings table at the top level, in a
/// file readable by its owner only (it may hold the mail password).
class CCore {
  public:
    CCore() = default;

    /// The folder of the program's data files (user.mdb), ending in '/'; see ProgramPaths.
    std::string getAppPath() { return Paths().dataDir; }
    /// Where the program keeps its files, decided once, when first asked.
    const ProgramPaths& Paths();
    /// Prepares the settings store: reads sentrel.ini. Called once before the first read.
    void autoFileConfig();
    /// The string the URL store opens: the database file's path.
    std::string getDbConnStrMdb(const std::string& path) const { return path; }

    /// A stored value, or the key's default (also for a value that does not parse).
    int Get(const SettingKey<int>& key);
    bool Get(const SettingKey<bool>& key);
    std::string Get(const SettingKey<std::string>& key);
    void Set(const SettingKey<int>& key, int value);
    void Set(const SettingKey<bool>& key, bool value);
    void Set(const SettingKey<std::string>& key, const std::string& value);
    /// Every setting, as stored; the password only when known without the keyring.
    Settings Read();
    /// Speaks the language the settings choose (`language`: "", "zh" or "en") from now on,
    /// for the whole process; both programs call it once, before they say anything.
    void UseChosenLanguage();
    /// Every setting, in one write; a password the keyring keeps unread is left as it is.
    void Store(const Settings& values);

    /// Holds back writes while it lives: the stores made meanwhile go to the file in one
    /// write when the last batch ends (the exit stores six values, and fsyncs once).
    class SaveBatch {
      public:
        explicit SaveBatch(CCore& core) : m_core(core) { ++m_core.m_nBatch; }
        ~SaveBatch() {
            if (--m_core.m_nBatch == 0 && m_core.m_bDirty) m_core.Write();
        }
        SaveBatch(const SaveBatch&) = delete;
        SaveBatch& operator=(const SaveBatch&) = delete;

      private:
        CCore& m_core;
    };

    /// Why the settings file could not be used as it was (empty when all was well).
    const std::string& ConfigProblem() const { return m_strProblem; }
    /// Why the last settings write failed (empty when it succeeded). The values stay as set
    /// in memory, and the next store tries the write again.
    const std::string& SaveProblem() const { return m_strSaveProblem; }
    std::string ConfigPath() { return Paths().configDir + "sentrel.ini"; }
    /// Why the mail password could not go to the desktop keyring at the last store (empty
    /// when it went there, or when there was none to store); the file kept it then.
    const std::string& KeyringProblem() const { return m_strKeyringProblem; }

    /// The mail password when it is known without asking the keyring: the file's, or one
    /// read from the keyring before. False when only the keyring (KeyringServer() and the
    /// user name) can tell; Get asks it, within a bound.
    bool KnownPassword(std::string& password);
    /// The server name the mail password is kept under in the keyring.
    std::string KeyringServer();
    /// A password left in the file (by an older version) that the keyring should keep
    /// instead: true with its server, user and text.
    bool PasswordToMove(std::string& server, std::string& user, std::string& password);
    /// The keyring took that password: the file is written again without it.
    void PasswordMoved(const std::string& server, const std::string& user,
                       const std::string& password);

    /// Escaping used for values in the file: backslash, CR, LF and tab become \\ \r \n \t.
    static std::string EscapeValue(const std::string& value);
    static std::string UnescapeValue(const std::string& text);

  private:
    void EnsureLoaded();
    std::string Raw(const std::string& key);
    void StoreText(const std::string& key, const std::string& text);
    void Write();
    /// The mail password to the keyring, under its server and user; false when the file
    /// must keep it.
    bool MoveSecretToKeyring();

    ProgramPaths m_paths;
    bool m_bPathsDecided = false;
    bool m_bLoaded = false;
    bool m_bKeepBadCopy = false;
    bool m_bDirty = false;  // values set in memory that the file does not hold yet
    int m_nBatch = 0;       // the old file is set aside before it is first overwritten
    std::map<std::string, std::string> m_values;  // decoded, keys set by the program
    std::vector<std::string> m_others;            // other tools' lines, as read
    std::string m_strProblem;
    std::string m_strSaveProblem;
    // The keyring's copy of the password: for which server and user, and whether the
    // value in m_values is the one it holds.
    std::string m_strKeyringFor;
    std::string m_strKeyringPwd;
    bool m_bInKeyring = false;
    std::string m_strKeyringProblem;
};

/// The single support object of the running program.
extern CCore* g_pCore;

}  // namespace sentrel
