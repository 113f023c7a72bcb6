#pragma once
// The desktop's keyring (the Secret Service: GNOME Keyring, KWallet...), where the mail
// password is kept instead of the settings file. Each password is found by its server and
// user name. Where there is no keyring (Windows, which seals the file's copy instead, or
// a machine without a keyring service) every call fails and the file keeps it.
#include <string>

namespace sentrel {

/// True when a keyring answers (whatever it holds); else `why` says what is missing.
bool KeyringAvailable(std::string& why);
/// Stores the password of `user` at `server`; false with a reason when no keyring takes it.
bool KeyringStore(const std::string& server, const std::string& user, const std::string& password,
                  std::string& error);
/// The stored password, or false (none stored, or no keyring).
bool KeyringLookup(const std::string& server, const std::string& user, std::string& password);
/// Forgets the password of `user` at `server`.
void KeyringClear(const std::string& server, const std::string& user);

}  // namespace sentrel
