#pragma once
// Pages opened in the desktop's browser: only web addresses (IsWebUrl, the program's one
// rule of them) and the program's own guide are handed over, never through a shell.
#include <functional>
#include <string>

#include "platform/WebUrl.h"

namespace sentrel {

/// The one local page the program itself owns (its user guide) that may be opened too.
void SetProgramPage(const std::string& url);

/// Opens an http or https URL in the desktop's browser; other text is never handed over.
/// Returns false when the URL was refused or no browser could be started.
bool OpenUrlInBrowser(const std::string& url);

/// Test seam: replaces the browser launch (pass nullptr to restore it).
void SetUrlOpenerForTesting(std::function<bool(const std::string&)> opener);

}  // namespace sentrel
