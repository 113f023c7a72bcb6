#pragma once
#include <functional>
#include <string>

namespace sentrel {

/// True for an http:// or https:// URL (in any letter case): the only text handed over.
bool IsWebUrl(const std::string& url);

/// The one local page the program itself owns (its user guide) that may be opened too.
void SetProgramPage(const std::string& url);

/// Opens an http or https URL in the desktop's browser; other text is never handed over.
/// Returns false when the URL was refused or no browser could be started.
bool OpenUrlInBrowser(const std::string& url);

/// Test seam: replaces the browser launch (pass nullptr to restore it).
void SetUrlOpenerForTesting(std::function<bool(const std::string&)> opener);

}  // namespace sentrel
