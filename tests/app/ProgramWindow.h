#pragma once
// The real program's window, found and driven with xdotool.
#include <sys/types.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/Process.h"

namespace sentrel::test {

/// The X window id of the program's window, once it is mapped; empty after `bound`.
inline std::string WaitForWindow(pid_t pid, std::chrono::milliseconds bound,
                                 const std::vector<std::string>& env = {}) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    do {
        std::string out = RunAndCapture({"/usr/bin/xdotool", "search", "--all", "--onlyvisible",
                                         "--pid", std::to_string(pid), "--name", "^Sentrel$"},
                                        nullptr, env);
        // xdotool's names match whatever their case: the tray icon's window ("sentrel")
        // matches too, and may be mapped first on a busy machine.
        for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string window = out.substr(at, end - at);
            if (RunAndCapture({"/usr/bin/xdotool", "getwindowname", window}, nullptr, env) == "Sentrel\n")
                return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

/// Whether the program's window `window` is mapped now, within `bound`.
inline bool WaitVisible(pid_t pid, const std::string& window, bool visible,
                        std::chrono::milliseconds bound, const std::vector<std::string>& env = {}) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    do {
        std::string out = RunAndCapture({"/usr/bin/xdotool", "search", "--all", "--onlyvisible",
                                         "--pid", std::to_string(pid), "--name", "^Sentrel$"},
                                        nullptr, env);
        if ((("\n" + out).find("\n" + window + "\n") != std::string::npos) == visible) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

/// A left click at a point of the window's client area, once the pointer is there. The
/// window is raised first (without a window manager every window opens at the same place)
/// and the pointer comes from outside it, so that the control there sees it enter. A click
/// into a popup over the window (`raise` false) leaves both alone.
inline void ClickAt(const std::string& window, int x, int y,
                    const std::vector<std::string>& env = {}, bool raise = true) {
    if (raise) {
        RunAndCapture({"/usr/bin/xdotool", "windowraise", window}, nullptr, env);
        RunAndCapture({"/usr/bin/xdotool", "mousemove", "--sync", "1000", "760"}, nullptr, env);
    }
    RunAndCapture({"/usr/bin/xdotool", "mousemove", "--sync", "--window", window, std::to_string(x),
                   std::to_string(y)},
                  nullptr, env);
    // A hand's pause: the toolkit takes the pointer's arrival before the press.
    RunAndCapture({"/usr/bin/xdotool", "sleep", "0.15", "click", "1"}, nullptr, env);
}

/// The text on the clipboard, as this (wx) program reads it from whoever holds it.
inline std::string ClipboardText() {
    std::string text;
    if (!wxTheClipboard->Open()) return text;
    wxTextDataObject data;
    if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT) && wxTheClipboard->GetData(data))
        text = data.GetText().utf8_str().data();
    wxTheClipboard->Close();
    return text;
}

/// Types `text` into the field that has the keyboard, and reads it back (selected and
/// copied). xdotool types a character outside the keymap by remapping a key for it, and a
/// busy machine may lose the first such key: then the field is typed again.
inline bool TypeChecked(const std::string& text, const std::vector<std::string>& env = {}) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        RunAndCapture({"/usr/bin/xdotool", "key", "ctrl+a"}, nullptr, env);
        RunAndCapture({"/usr/bin/xdotool", "type", "--delay", "20", text}, nullptr, env);
        RunAndCapture({"/usr/bin/xdotool", "key", "ctrl+a", "ctrl+c"}, nullptr, env);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ClipboardText() == text) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return false;
}

/// Waits until `done` holds, looking every 50 ms; false when `bound` passed first.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

/// The X window ids of the program's visible windows, its menus included.
inline std::vector<std::string> VisibleWindows(pid_t pid,
                                               const std::vector<std::string>& env = {}) {
    const std::string out = RunAndCapture(
        {"/usr/bin/xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid)},
        nullptr, env);
    std::vector<std::string> ids;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        ids.push_back(out.substr(at, end - at));
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return ids;
}

/// The program's visible window titled `title` (compared here: xdotool's name patterns
/// are not UTF-8 aware in every locale), or empty.
inline std::string WindowTitled(pid_t pid, const std::string& title,
                                const std::vector<std::string>& env = {}) {
    for (const std::string& id : VisibleWindows(pid, env))
        if (RunAndCapture({"/usr/bin/xdotool", "getwindowname", id}, nullptr, env) == title + "\n")
            return id;
    return {};
}

}  // namespace sentrel::test
