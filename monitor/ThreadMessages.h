#pragma once
// Numbers of the messages that worker threads post to the main window.

namespace sentrel {

constexpr unsigned WM_USER = 0x0400;

constexpr unsigned WM_PAGE_UPDATED = WM_USER + 1;  ///< wParam row, lParam 1
constexpr unsigned WM_WATCH_ENDED = WM_USER + 2;   ///< wParam row, lParam 0 or -1 (session refused)
constexpr unsigned WM_MAIL_RESULT = WM_USER + 3;   ///< wParam 0, lParam 0, -1 or -2
constexpr unsigned WM_PAGE_SIZE = WM_USER + 4;     ///< wParam row, lParam first measured size

}  // namespace sentrel
