#pragma once
// The real program's window, found and driven with xdotool.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Process.h"

namespace sentrel::test {

/// The X window id of the program's window, once it is mapped; empty after `bound`.
inline std::string WaitForWindow(pid_t pid, std::chrono::milliseconds bound,
                                 const std::vector<std::string>& env = {}) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    do {
        std::string out = RunAndCapture({"/usr/bin/xdotool", "search", "--all", "--onlyvisible",
                                         "--pid", std::to_string(pid), "--name", "^Sentrel$"},
                                        nullptr, env);
        if (!out.empty()) return out.substr(0, out.find('\n'));
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

/// A left click at a point of the window's client area.
inline void ClickAt(const std::string& window, int x, int y,
                    const std::vector<std::string>& env = {}) {
    RunAndCapture(
        {"/usr/bin/xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y)},
        nullptr, env);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RunAndCapture({"/usr/bin/xdotool", "click", "1"}, nullptr, env);
}

}  // namespace sentrel::test
