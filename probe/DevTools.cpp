#include "probe/DevTools.h"

#include <algorithm>

#include "base/Translate.h"

namespace sentrel {

namespace {
// An answer or event larger than this is no message of the protocol's (a page's whole
// document comes well below it: texts are read from bodies of 16 MB at most).
constexpr std::size_t kMaxMessage = 64u * 1024 * 1024;
}  // namespace

DevTools::DevTools(std::unique_ptr<PipeChild> child, BrowserEvents onBrowserEvent)
    : m_child(std::move(child)), m_fnBrowserEvent(std::move(onBrowserEvent)) {
    m_reader = std::thread([this] { ReadLoop(); });
}

DevTools::~DevTools() {
    Stop();
    if (m_reader.joinable()) m_reader.join();
}

void DevTools::Stop() {
    Dead();
    // Nothing of a rendering browser is worth an orderly end: its profile is thrown away.
    m_child->Stop(std::chrono::milliseconds(0));
}

void DevTools::Dead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bAlive = false;
    }
    m_cv.notify_all();
}

void DevTools::ReadLoop() {
    std::string pending;
    char buffer[65536];
    for (;;) {
        const long n = m_child->Read(buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0, end;
        while ((end = pending.find('\0', start)) != std::string::npos) {
            Handle(pending.substr(start, end - start));
            start = end + 1;
        }
        pending.erase(0, start);
        if (pending.size() > kMaxMessage || !m_bAlive) break;
    }
    // Gone, or speaking something else: every wait ends, and the browser with it.
    Dead();
    m_child->Stop(std::chrono::milliseconds(0));
}

void DevTools::Handle(const std::string& text) {
    devtools::Message message = devtools::Read(text);
    switch (message.kind) {
        case devtools::Message::Kind::Invalid:
            m_bAlive = false;  // not the protocol: the loop ends it
            return;
        case devtools::Message::Kind::Ignored:
            return;
        case devtools::Message::Kind::Answer: {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_waiting.count(message.id)) return;  // a Post's answer
                m_answers[message.id] = std::move(message);
            }
            m_cv.notify_all();
            return;
        }
        case devtools::Message::Kind::Event:
            break;
    }
    Event event{std::move(message.method), std::move(message.body)};
    if (message.session.empty()) {
        if (m_fnBrowserEvent) m_fnBrowserEvent(*this, event);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_sessions.find(message.session);
        if (it == m_sessions.end()) return;
        it->second.push_back(std::move(event));
    }
    m_cv.notify_all();
}

DevTools::Outcome DevTools::Call(const std::string& method, const Json& params, Json& result, std::string& error,
                                const std::string& session, Clock::time_point until,
                                const std::function<bool()>& stop) {
    Json command = {{"id", 0}, {"method", method}, {"params", params}};
    int id;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        id = ++m_nNextId;
        m_waiting[id] = true;
    }
    command["id"] = id;
    if (!session.empty()) command["sessionId"] = session;
    if (!m_bAlive || !m_child->Write(command.dump() + '\0')) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting.erase(id);
        error = Tr("浏览器已结束");
        return Outcome::Gone;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    bool stopped = false;
    for (;;) {
        const auto slice = std::min(until, Clock::now() + std::chrono::milliseconds(50));
        if (m_cv.wait_until(lock, slice, [&] { return !m_bAlive || m_answers.count(id) > 0; })) break;
        if (Clock::now() >= until) break;
        if (stop) {
            lock.unlock();
            stopped = stop();
            lock.lock();
            if (stopped) break;
        }
    }
    m_waiting.erase(id);
    const auto answer = m_answers.find(id);
    if (answer == m_answers.end()) {
        if (stopped) {
            error = method + ": " + Tr("已取消");
            return Outcome::Stopped;
        }
        error = m_bAlive ? Fill(Tr("{0} 没有回答"), {method}) : Tr("浏览器已结束");
        return m_bAlive ? Outcome::NoAnswer : Outcome::Gone;
    }
    devtools::Message message = std::move(answer->second);
    m_answers.erase(answer);
    if (!message.problem.empty()) {
        error = method + ": " + message.problem;
        return Outcome::Refused;
    }
    result = std::move(message.body);
    return Outcome::Ok;
}

void DevTools::Post(const std::string& method, const Json& params, const std::string& session) {
    Json command = {{"id", 0}, {"method", method}, {"params", params}};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        command["id"] = ++m_nNextId;
    }
    if (!session.empty()) command["sessionId"] = session;
    if (m_bAlive) m_child->Write(command.dump() + '\0');
}

void DevTools::Listen(const std::string& session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions[session];
}

void DevTools::Forget(const std::string& session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions.erase(session);
}

bool DevTools::NextEvent(const std::string& session, Event& event, Clock::time_point until) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto has = [&] {
        auto it = m_sessions.find(session);
        return !m_bAlive || (it != m_sessions.end() && !it->second.empty());
    };
    if (!m_cv.wait_until(lock, until, has) || !m_bAlive) return false;
    std::deque<Event>& queue = m_sessions[session];
    event = std::move(queue.front());
    queue.pop_front();
    return true;
}

}  // namespace sentrel
