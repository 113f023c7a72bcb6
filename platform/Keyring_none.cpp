#include "platform/Keyring.h"

namespace sentrel {

namespace {
KeyringAnswer None(std::string& why) {
    why = "no keyring on this system";
    return KeyringAnswer::kNoKeyring;
}
}  // namespace

KeyringAnswer KeyringLookup(const std::string&, const std::string&, std::string&, std::string& why,
                            std::chrono::milliseconds) {
    return None(why);
}

KeyringAnswer KeyringStore(const std::string&, const std::string&, const std::string&,
                           std::string& why, std::chrono::milliseconds) {
    return None(why);
}

KeyringAnswer KeyringClear(const std::string&, const std::string&, std::string& why,
                           std::chrono::milliseconds) {
    return None(why);
}

std::string KeyringFailure(KeyringAnswer, const std::string& why) {
    return why;
}

}  // namespace sentrel
