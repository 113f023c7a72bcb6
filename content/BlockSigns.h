#pragma once
// Pages that stand in for the one asked for: a bot check, a login form. Read from the raw
// markup with plain scans (no parser): a check of every page's probe must cost next to
// nothing, and these signs sit near the top of a page.
#include <string_view>

namespace sentrel::content {

/// True when an HTML page is a bot check rather than the page asked for: its title is one
/// that bot checks carry ("Just a moment...", "Attention Required!", "Access denied"...),
/// or it holds a bot check's form.
bool LooksLikeBotCheck(std::string_view html);

/// How many password fields the page shows (input type=password, not hidden by the
/// markup itself): a login form has one or two.
int PasswordFields(std::string_view html);

}  // namespace sentrel::content
