// The lock is the profile's lock file held open without sharing, which the system closes
// with its holder. A second start signals a named event of the profile's, which the holder
// waits on, and waits at most two seconds for the holder's answer on a second event.
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <functional>
#include <thread>

#include "platform/Files.h"
#include "platform/ProfileLock.h"

namespace sentrel {

namespace {

constexpr DWORD kAnswerBoundMs = 2000;

std::wstring EventName(const std::string& dir, const char* suffix = "") {
    return fs::Wide("Local\\" + ProfileLock::ChannelName(dir) + suffix);
}

std::string LastErrorText() {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, text, sizeof text, nullptr);
    return text;
}

}  // namespace

struct ProfileLock::Impl {
    HANDLE lockFile = INVALID_HANDLE_VALUE;
    HANDLE showEvent = nullptr;
    HANDLE shownEvent = nullptr;
    HANDLE stopEvent = nullptr;
    std::string dir;
    std::string problem;
    std::thread listener;
};

ProfileLock::ProfileLock() : m_impl(std::make_unique<Impl>()) {}

ProfileLock::~ProfileLock() {
    StopListening();
    if (m_impl->lockFile != INVALID_HANDLE_VALUE) CloseHandle(m_impl->lockFile);
}

const std::string& ProfileLock::Problem() const {
    return m_impl->problem;
}

ProfileLock::Result ProfileLock::Acquire(const std::string& dir, Hold hold,
                                         const std::string& name) {
    if (Held()) return kAcquired;
    m_impl->problem.clear();
    const std::string sep = dir.empty() || dir.back() == '\\' || dir.back() == '/' ? "" : "\\";
    const std::string path = dir + sep + name;
    // Held alone: no sharing at all. Shared: readers that let other readers in, so shards
    // open it together and anyone who would hold it alone is refused.
    const bool shared = hold == Hold::kShared;
    HANDLE h = CreateFileW(fs::Wide(path).c_str(), shared ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                           shared ? FILE_SHARE_READ : 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err == ERROR_SHARING_VIOLATION) return kTaken;
        if (err == ERROR_PATH_NOT_FOUND) return kUnavailable;  // the folder takes no file
        m_impl->problem = path + ": " + LastErrorText();
        return kFailed;
    }
    m_impl->lockFile = h;
    m_impl->dir = dir;
    return kAcquired;
}

bool ProfileLock::Held() const {
    return m_impl->lockFile != INVALID_HANDLE_VALUE;
}

bool ProfileLock::Listen(std::function<void()> onShow) {
    if (!Held()) return false;
    if (m_impl->showEvent) return true;
    m_impl->showEvent = CreateEventW(nullptr, FALSE, FALSE, EventName(m_impl->dir).c_str());
    m_impl->shownEvent =
        CreateEventW(nullptr, FALSE, FALSE, EventName(m_impl->dir, "-shown").c_str());
    m_impl->stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_impl->showEvent || !m_impl->shownEvent || !m_impl->stopEvent) {
        m_impl->problem = ChannelName(m_impl->dir) + ": " + LastErrorText();
        StopListening();
        return false;
    }
    HANDLE events[2] = {m_impl->stopEvent, m_impl->showEvent};
    HANDLE shown = m_impl->shownEvent;
    m_impl->listener = std::thread([events, shown, onShow = std::move(onShow)] {
        while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            SetEvent(shown);
            onShow();
        }
    });
    return true;
}

void ProfileLock::StopListening() {
    if (m_impl->stopEvent) SetEvent(m_impl->stopEvent);
    if (m_impl->listener.joinable()) m_impl->listener.join();
    for (HANDLE* e : {&m_impl->showEvent, &m_impl->shownEvent, &m_impl->stopEvent})
        if (*e) {
            CloseHandle(*e);
            *e = nullptr;
        }
}

ProfileLock::Answer ProfileLock::Ask(const std::string& dir) {
    HANDLE show = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(dir).c_str());
    if (!show) return kNobody;
    HANDLE shown = OpenEventW(SYNCHRONIZE, FALSE, EventName(dir, "-shown").c_str());
    Answer answer = kNoAnswer;
    if (shown && SetEvent(show) && WaitForSingleObject(shown, kAnswerBoundMs) == WAIT_OBJECT_0)
        answer = kShown;
    if (shown) CloseHandle(shown);
    CloseHandle(show);
    return answer;
}

}  // namespace sentrel
