// The alert sound through libcanberra, on a thread of its own: opening the sound system
// can wait on a sound server, and the window must never wait for it. The thread and the
// library (with its codecs) come with the first alert: many sessions never sound one.
#include <canberra.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/LazyLibrary.h"
#include "support/AlertSound.h"

namespace sentrel {

namespace {

// freedesktop sound theme: the desktop's default alert sound.
constexpr const char* kFallbackEvent = "bell";
// Plays that pile up while the sound system does not answer are not worth keeping.
constexpr std::size_t kMaxQueued = 2;
// Without a working sound device every attempt fails (and the sound library complains on
// stderr); one attempt in this long is enough to notice a device that came back.
constexpr std::chrono::minutes kRetryAfterFailure(5);

// clang-format off
#define SENTREL_CANBERRA_CALLS(X) \
    X(ca_context_create) X(ca_context_change_props) X(ca_context_open) X(ca_context_play) \
    X(ca_context_destroy)
// clang-format on

struct CanberraApi {
    SENTREL_CANBERRA_CALLS(SENTREL_API_MEMBER)
};

const CanberraApi* Canberra() {
    return LoadOnce<CanberraApi>("libcanberra.so.0", [](LazyLibrary& lib, CanberraApi& api) {
        SENTREL_CANBERRA_CALLS(SENTREL_API_BIND)
    });
}

class CCanberraSound : public CAlertSound {
  public:
    CCanberraSound() = default;
    ~CCanberraSound() override {
        std::thread thread;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bQuit = true;
            thread = std::move(m_thread);
        }
        m_wake.notify_all();
        if (thread.joinable()) thread.join();
    }

    void Play(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queue.size() >= kMaxQueued) return;
        m_queue.push_back(path);
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
        m_wake.notify_all();
    }

  private:
    void Run() {
        ca_context* ctx = nullptr;
        for (;;) {
            std::string path;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_bQuit || !m_queue.empty(); });
                if (m_bQuit) break;
                path = std::move(m_queue.front());
                m_queue.pop_front();
            }
            const auto now = std::chrono::steady_clock::now();
            if (now < m_retryAt) continue;  // no sound device: only the sound is lost
            if (!ctx && !Open(ctx)) {
                m_retryAt = now + kRetryAfterFailure;
                continue;
            }
            // Each play gets its own id, so a new one never cancels the one still playing.
            ++m_nId;
            int rc = CA_ERROR_NOTFOUND;
            if (SoundFileProblem(path).empty() && access(path.c_str(), R_OK) == 0)
                rc = Canberra()->ca_context_play(ctx, m_nId, CA_PROP_MEDIA_FILENAME, path.c_str(),
                                                 CA_PROP_EVENT_DESCRIPTION, "Page update found",
                                                 nullptr);
            if (rc < 0)
                rc = Canberra()->ca_context_play(ctx, m_nId, CA_PROP_EVENT_ID, kFallbackEvent,
                                                 CA_PROP_EVENT_DESCRIPTION, "Page update found",
                                                 nullptr);
            if (rc < 0) {
                Canberra()->ca_context_destroy(ctx);
                ctx = nullptr;
                m_retryAt = now + kRetryAfterFailure;
            }
        }
        if (ctx) Canberra()->ca_context_destroy(ctx);
    }

    static bool Open(ca_context*& ctx) {
        const CanberraApi* ca = Canberra();
        if (!ca || ca->ca_context_create(&ctx) < 0) {
            ctx = nullptr;
            return false;
        }
        ca->ca_context_change_props(ctx, CA_PROP_APPLICATION_NAME, "HalvexSentrel",
                                    CA_PROP_APPLICATION_ID, "sentrel", nullptr);
        if (ca->ca_context_open(ctx) < 0) {
            ca->ca_context_destroy(ctx);
            ctx = nullptr;
            return false;
        }
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_queue;
    bool m_bQuit = false;
    std::uint32_t m_nId = 0;
    std::chrono::steady_clock::time_point m_retryAt{};
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<CAlertSound> CAlertSound::CreateSystem() {
    return std::make_unique<CCanberraSound>();
}

}  // namespace sentrel
