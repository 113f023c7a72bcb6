#pragma once
// Bare watcher threads for the benchmarks: started on one flag, stopped and joined together.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "probe/WatchThread.h"

namespace bench {

class Watchers {
  public:
    /// `count` watchers of `url` (or of url + "?i" when `numbered`), every `interval` s.
    Watchers(const std::string& url, int count, int interval, bool numbered,
             std::function<void(const sentrel::WatchMessage&)> onMessage = nullptr)
        : m_flag(std::make_shared<sentrel::CRunFlag>("RUN")),
          m_target(std::make_shared<sentrel::PostTarget<sentrel::WatchMessage>>(
              [onMessage](sentrel::WatchMessage m) {
                  if (onMessage) onMessage(m);
              })) {
        for (int i = 0; i < count; ++i) {
            sentrel::WatchEntry entry;
            entry.hMainWnd = m_target;
            entry.nItem = i;
            entry.nInterval = interval;
            entry.szUrl = numbered ? url + "?" + std::to_string(i) : url;
            entry.pszRunFlag = m_flag;
            m_threads.push_back(std::make_unique<sentrel::CWatchThread>(std::move(entry)));
            m_threads.back()->CreateThread();
        }
    }
    ~Watchers() { Stop(); }
    void Stop() {
        m_flag->Set("STOP");
        for (auto& t : m_threads) t->Join(std::chrono::seconds(10));
        m_threads.clear();
        m_target->Close();
    }

  private:
    sentrel::RunFlagPtr m_flag;
    sentrel::WatchTarget m_target;
    std::vector<std::unique_ptr<sentrel::CWatchThread>> m_threads;
};

}  // namespace bench
