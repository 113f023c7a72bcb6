#pragma once
// How a secret setting (the mail password) is kept in the settings file. On Windows the
// value is sealed with the user's data-protection key (DPAPI) and stored as "dpapi:" and
// base64; elsewhere it is kept as it is, in a file only its owner can read. A stored value
// without the mark is taken as it is, so files written by older versions still read.
#include <string>

namespace sentrel {

std::string ProtectSecret(const std::string& plain);
/// False when a sealed value cannot be opened (another user's or another machine's).
bool UnprotectSecret(const std::string& stored, std::string& plain);

}  // namespace sentrel
