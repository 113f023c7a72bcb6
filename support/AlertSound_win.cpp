// The alert sound through the system's own player: PlaySound plays asynchronously and
// returns at once, so the window never waits. A file that cannot be played gives the
// system's default alert sound.
// The system headers need windows.h first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include "platform/Files.h"
#include "support/AlertSound.h"

namespace sentrel {

namespace {

class CWindowsSound : public CAlertSound {
  public:
    ~CWindowsSound() override { PlaySoundW(nullptr, nullptr, 0); }

    void Play(const std::string& path) override {
        // SND_NODEFAULT: a missing file is answered below with the alert sound of the
        // system's scheme instead of the plain default beep.
        if (!SoundFileProblem(path).empty() ||
            !PlaySoundW(fs::Wide(path).c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT))
            PlaySoundW(reinterpret_cast<LPCWSTR>(SND_ALIAS_SYSTEMEXCLAMATION), nullptr,
                       SND_ALIAS_ID | SND_ASYNC);
    }
};

}  // namespace

std::unique_ptr<CAlertSound> CAlertSound::CreateSystem() {
    return std::make_unique<CWindowsSound>();
}

}  // namespace sentrel
