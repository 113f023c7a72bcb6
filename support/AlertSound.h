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

/// Larger sound files are not alert sounds, and the sound system's error paths for them
/// are not to be trusted.
constexpr long long kMaxSoundBytes = 16LL * 1024 * 1024;

/// Why the file must not be handed to the sound system ("不是普通文件", "大于 16 MB"), or
/// empty. A missing file is no problem: the desktop's alert sound plays instead.
std::string SoundFileProblem(const std::string& path);

}  // namespace sentrel
