#pragma once
#include <memory>
#include <string>

namespace sentrel {

/// Plays the alert sound without making the caller wait for it.
class CAlertSound {
  public:
    virtual ~CAlertSound() = default;
    /// Starts playing the sound file at `path`. A missing or unplayable file plays the
    /// desktop's default alert sound instead; without a sound device nothing is heard.
    virtual void Play(const std::string& path) = 0;

    /// The desktop's player.
    static std::unique_ptr<CAlertSound> CreateSystem();
};

}  // namespace sentrel
