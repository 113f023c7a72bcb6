#include "Keyring.h"

namespace sentrel {

bool KeyringAvailable(std::string& why) {
    why = "no keyring on this system";
    return false;
}

bool KeyringStore(const std::string&, const std::string&, const std::string&, std::string& error) {
    error = "no keyring on this system";
    return false;
}

bool KeyringLookup(const std::string&, const std::string&, std::string&) {
    return false;
}

void KeyringClear(const std::string&, const std::string&) {}

}  // namespace sentrel
