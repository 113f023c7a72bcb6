// What the profile lock is alike on every system: the name of its channel.
#include <cstdint>
#include <cstdio>

#include "platform/Files.h"
#include "platform/ProfileLock.h"

namespace sentrel {

std::string ProfileLock::ChannelName(const std::string& dir) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : fs::Resolve(dir)) h = (h ^ c) * 1099511628211ULL;
    char name[32];
    std::snprintf(name, sizeof name, "sentrel-%016llx", static_cast<unsigned long long>(h));
    return name;
}

}  // namespace sentrel
