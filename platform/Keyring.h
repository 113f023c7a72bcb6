#pragma once
// The desktop's keyring (the Secret Service: GNOME Keyring, KWallet...), where the mail
// password is kept instead of the settings file. Each password is found by its server and
// user name. Where there is no keyring (Windows, which seals the file's copy instead, or
// a machine without a keyring service) every call says so and the file keeps it.
//
// A keyring may take a call and never answer (a locked keyring whose unlock prompt nobody
// answers, a hung service): every call is given up after its bound, and for a minute
// after such a silence calls are answered at once as unanswered, so that no caller waits
// for it twice.
#include <chrono>
#include <string>

namespace sentrel {

/// How the keyring answered.
enum class KeyringAnswer {
    kYes,        ///< found, stored or cleared
    kNo,         ///< no password is stored for this server and user
    kNoKeyring,  ///< no keyring here, or it refused (`why` says which)
    kNoAnswer,   ///< it did not answer within the bound
};

/// Long enough for any keyring that answers at all; short enough that nobody waits long.
constexpr std::chrono::milliseconds kKeyringBound(2000);

/// The stored password of `user` at `server`.
KeyringAnswer KeyringLookup(const std::string& server, const std::string& user,
                            std::string& password, std::string& why,
                            std::chrono::milliseconds bound = kKeyringBound);
/// Stores the password of `user` at `server`.
KeyringAnswer KeyringStore(const std::string& server, const std::string& user,
                           const std::string& password, std::string& why,
                           std::chrono::milliseconds bound = kKeyringBound);
/// Forgets the password of `user` at `server` (kYes also when none was stored).
KeyringAnswer KeyringClear(const std::string& server, const std::string& user, std::string& why,
                           std::chrono::milliseconds bound = kKeyringBound);

/// The user's words for an answer that is no password: why the keyring could not be read.
std::string KeyringFailure(KeyringAnswer answer, const std::string& why);

}  // namespace sentrel
