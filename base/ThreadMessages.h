#pragma once
// The messages worker threads send to the program's UI thread (or loop). Each travels as a
// typed value through a PostTarget; these numbers name which one it is.

namespace sentrel {

// The first number a window may give its own messages (0x0400 on Windows, where WM_USER
// is a macro of that value, so the name is not reused here).
constexpr unsigned kProgramMessageBase = 0x0400;

constexpr unsigned WM_PAGE_UPDATED = kProgramMessageBase + 1;  ///< (the model decides changes)
constexpr unsigned WM_WATCH_ENDED = kProgramMessageBase + 2;   ///< a watcher's last message
constexpr unsigned WM_MAIL_RESULT = kProgramMessageBase + 3;   ///< a mail's MailResult
constexpr unsigned WM_PAGE_SIZE = kProgramMessageBase + 4;     ///< a watcher's first result
constexpr unsigned WM_PROBE_RESULT = kProgramMessageBase + 5;  ///< each later result
constexpr unsigned WM_SECRET_MOVED = kProgramMessageBase + 6;  ///< the keyring took a password
constexpr unsigned WM_STATUS_TOLD = kProgramMessageBase + 7;   ///< a line for the status: a hook's outage, a text not kept
constexpr unsigned WM_SHOW_WINDOW = kProgramMessageBase + 8;   ///< a second start asks to see it
constexpr unsigned WM_PREVIEW_DONE = kProgramMessageBase + 9;  ///< the URL dialog's preview
constexpr unsigned WM_CHANGES_COMPARED = kProgramMessageBase + 10;  ///< 查看变化's comparison
constexpr unsigned WM_MODEL_TASK = kProgramMessageBase + 11;  ///< the run's model's own work (a result)

}  // namespace sentrel
