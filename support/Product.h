#pragma once
// The product's name and homepage, in one place: the footer link and the test mail's
// signature both take them from here.

namespace sentrel {

constexpr const char* kProductTitle = "HalvexSentrel";
constexpr const char* kHomepage = "https://sentrel.halvex.com/";
/// One line saying what the program does (the test mail's signature).
constexpr const char* kProductLine = "HalvexSentrel：网页更新监控，变化即刻提醒";

}  // namespace sentrel
