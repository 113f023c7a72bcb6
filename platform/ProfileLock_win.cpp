// The lock is the profile's lock file held open without sharing, which the system closes
// with its holder. A second start signals a named event of the profile's, which the holder
// waits on.
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <functional>
#include <thread>

#include "Files.h"
#include "ProfileLock.h"

namespace sentrel {

namespace {

std::wstring EventName(const std::string& dir) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : fs::Resolve(dir)) h = (h ^ c) * 1099511628211ULL;
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\sentrel-%016llx", static_cast<unsigned long long>(h));
    return name;
}

}  // namespace

struct ProfileLock::Impl {
    HANDLE lockFile = INVALID_HANDLE_VALUE;
    HANDLE showEvent = nullptr;
    HANDLE stopEvent = nullptr;
    std::string dir;
    std::thread listener;
};

ProfileLock::ProfileLock() : m_impl(std::make_unique<Impl>()) {}

ProfileLock::~ProfileLock() {
    StopListening();
    if (m_impl->lockFile != INVALID_HANDLE_VALUE) CloseHandle(m_impl->lockFile);
}

ProfileLock::Result ProfileLock::Acquire(const std::string& dir) {
    if (Held()) return kAcquired;
    const std::string sep = dir.empty() || dir.back() == '\\' || dir.back() == '/' ? "" : "\\";
    HANDLE h =
        CreateFileW(fs::Wide(dir + sep + "sentrel.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                    0 /* no sharing */, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? kTaken : kUnavailable;
    m_impl->lockFile = h;
    m_impl->dir = dir;
    return kAcquired;
}

bool ProfileLock::Held() const {
    return m_impl->lockFile != INVALID_HANDLE_VALUE;
}

void ProfileLock::Listen(std::function<void()> onShow) {
    if (!Held() || m_impl->showEvent) return;
    m_impl->showEvent = CreateEventW(nullptr, FALSE, FALSE, EventName(m_impl->dir).c_str());
    m_impl->stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_impl->showEvent || !m_impl->stopEvent) return;
    HANDLE events[2] = {m_impl->stopEvent, m_impl->showEvent};
    m_impl->listener = std::thread([events, onShow = std::move(onShow)] {
        while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) onShow();
    });
}

void ProfileLock::StopListening() {
    if (!m_impl->showEvent) return;
    if (m_impl->stopEvent) SetEvent(m_impl->stopEvent);
    if (m_impl->listener.joinable()) m_impl->listener.join();
    CloseHandle(m_impl->showEvent);
    if (m_impl->stopEvent) CloseHandle(m_impl->stopEvent);
    m_impl->showEvent = m_impl->stopEvent = nullptr;
}

bool ProfileLock::AskHolderToShow(const std::string& dir) {
    HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(dir).c_str());
    if (!e) return false;
    const bool ok = SetEvent(e) != 0;
    CloseHandle(e);
    return ok;
}

}  // namespace sentrel
