#pragma once
// The product's name and homepage, in one place: the footer link and the test mail's
// signature both take them from here.
#include <string>

#include "base/Translate.h"

#ifndef SENTREL_HOMEPAGE
#define SENTREL_HOMEPAGE ""
#endif

namespace sentrel {

constexpr const char* kProductTitle = "HalvexSentrel";
/// One line saying what the program does (the test mail's signature).
constexpr const char* kProductLine = N_("HalvexSentrel：网页更新监控，变化即刻提醒");

/// The product's web address, for mail that leaves this machine (the test mail's
/// signature): the homepage chosen at build time, else the maker's site.
inline std::string ProductWebAddress() {
    const std::string chosen = SENTREL_HOMEPAGE;
    return chosen.empty() ? "https://www.halvex.com/sentrel/" : chosen;
}

/// The homepage chosen at build time (the SENTREL_HOMEPAGE cache variable), else the
/// program's own user guide, so that no build links to a domain the project does not own.
inline std::string Homepage(const std::string& guidePath) {
    const std::string chosen = SENTREL_HOMEPAGE;
    return chosen.empty() ? "file://" + guidePath : chosen;
}

}  // namespace sentrel
