#pragma once
// Which browser renders pages built by script, and how it may run.
#include <string>
#include <vector>

namespace sentrel {

/// The browser a rendering would use now: $SENTREL_BROWSER, else `setting` (browser= in
/// the settings), else the first of BrowserCandidates(); empty when there is none (or the
/// one named is no program this user can run).
std::string FindBrowser(const std::string& setting);

/// The places a Chromium-family browser may be, in the order they are tried: the names
/// chromium-headless-shell (Chromium built for this alone: lighter, and without the
/// browser's own services), chromium, chromium-browser, google-chrome, google-chrome-stable
/// and microsoft-edge on PATH; on Windows Edge and Chrome in their usual install folders.
std::vector<std::string> BrowserCandidates();
/// True when `path` names a program this user can run.
bool IsProgram(const std::string& path);
/// True when the program runs as root (a browser's sandbox cannot run so).
bool RunningAsRoot();

}  // namespace sentrel
