#include "PostRecorder.h"

namespace sentrel::test {

PostRecorder::PostRecorder() {
    m_target = std::make_shared<PostTarget>([this](unsigned msg, std::intptr_t w, std::intptr_t l) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_msgs.push_back({msg, w, l, std::chrono::steady_clock::now()});
        m_cv.notify_all();
    });
}

std::vector<PostRecorder::Msg> PostRecorder::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_msgs;
}

bool PostRecorder::WaitUntil(const std::function<bool(const std::vector<Msg>&)>& pred,
                             std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return pred(m_msgs); });
}

bool PostRecorder::WaitFor(unsigned msg, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [msg](const std::vector<Msg>& all) {
            for (const Msg& m : all)
                if (m.msg == msg) return true;
            return false;
        },
        timeout);
}

}  // namespace sentrel::test
