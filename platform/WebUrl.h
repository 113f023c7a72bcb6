#pragma once
// What is a web address, without libcurl's header: the window's files include it, and on
// Windows curl.h brings <windows.h> and its macros (DrawText, ...) in after wx's own.
#include <string>

namespace sentrel {

/// The one rule of what is a web address, for every use of one (a page probed, a page
/// opened in the browser, a hook): libcurl reads it (CURLU) and its scheme is http or
/// https, in any letter case. False too when libcurl cannot be had.
bool IsWebUrl(const std::string& url);

}  // namespace sentrel
