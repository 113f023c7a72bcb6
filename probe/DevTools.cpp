#include "DevTools.h"

#include <algorithm>

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
    Json message = Json::parse(text, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        m_bAlive = false;  // not the protocol: the loop ends it
        return;
    }
    if (message.contains("id")) {
        if (!message["id"].is_number_integer()) return;
        const int id = message["id"].get<int>();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_waiting.count(id)) return;  // a Post's answer
            m_answers[id] = std::move(message);
        }
        m_cv.notify_all();
        return;
    }
    const std::string session =
        message.contains("sessionId") && message["sessionId"].is_string() ? message["sessionId"].get<std::string>() : "";
    if (session.empty()) {
        if (m_fnBrowserEvent) m_fnBrowserEvent(message);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_sessions.find(session);
        if (it == m_sessions.end()) return;
        it->second.push_back(std::move(message));
    }
    m_cv.notify_all();
}

bool DevTools::Call(const std::string& method, const Json& params, Json& result, std::string& error,
                    const std::string& session, Clock::time_point until, const std::function<bool()>& stop) {
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
        error = "the browser is gone";
        return false;
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
    const bool answered = m_answers.count(id) > 0;
    m_waiting.erase(id);
    if (!answered) {
        m_answers.erase(id);
        error = stopped ? method + ": stopped" : m_bAlive ? method + ": no answer" : "the browser is gone";
        return false;
    }
    Json answer = std::move(m_answers[id]);
    m_answers.erase(id);
    if (answer.contains("error")) {
        error = answer["error"].value("message", std::string("error"));
        return false;
    }
    result = answer.value("result", Json::object());
    return true;
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

bool DevTools::NextEvent(const std::string& session, Json& event, Clock::time_point until) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto has = [&] {
        auto it = m_sessions.find(session);
        return !m_bAlive || (it != m_sessions.end() && !it->second.empty());
    };
    if (!m_cv.wait_until(lock, until, has) || !m_bAlive) return false;
    std::deque<Json>& queue = m_sessions[session];
    event = std::move(queue.front());
    queue.pop_front();
    return true;
}

}  // namespace sentrel
