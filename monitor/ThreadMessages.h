#pragma once
// Numbers of the messages that worker threads post to the main window.

namespace sentrel {

// The first number a window may give its own messages (0x0400 on Windows, where WM_USER
// is a macro of that value, so the name is not reused here).
constexpr unsigned kProgramMessageBase = 0x0400;

// wParam of a watcher's message is its watch number, which names the run's row.
constexpr unsigned WM_PAGE_UPDATED = kProgramMessageBase + 1;  ///< wParam watch, lParam 1
constexpr unsigned WM_WATCH_ENDED =
    kProgramMessageBase + 2;  ///< wParam watch, lParam 0 or -1 (session refused)
constexpr unsigned WM_MAIL_RESULT = kProgramMessageBase + 3;  ///< wParam 0, lParam 0, -1 or -2
constexpr unsigned WM_PAGE_SIZE =
    kProgramMessageBase + 4;  ///< wParam watch, lParam the first probe (ProbeResult::Encode)
constexpr unsigned WM_PROBE_RESULT =
    kProgramMessageBase + 5;  ///< wParam watch, lParam each later probe (ProbeResult::Encode)
constexpr unsigned WM_SECRET_MOVED =
    kProgramMessageBase + 6;  ///< wParam 0, lParam 1: the keyring took the file's password

}  // namespace sentrel
