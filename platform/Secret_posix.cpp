#include "platform/Secret.h"

namespace sentrel {

std::string ProtectSecret(const std::string& plain) {
    return plain;  // the settings file is the owner's alone (0600)
}

bool UnprotectSecret(const std::string& stored, std::string& plain) {
    plain = stored;
    return true;
}

}  // namespace sentrel
