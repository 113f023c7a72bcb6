// The desktop's sound player never makes its caller wait, with or without a sound device.
#include <gtest/gtest.h>

#include <chrono>

#include "AlertSound.h"

using namespace sentrel;
using namespace std::chrono_literals;

TEST(AlertSound, PlaysReturnAtOnceForGoodMissingAndBrokenFiles) {
    auto start = std::chrono::steady_clock::now();
    {
        auto sound = CAlertSound::CreateSystem();
        sound->Play(SENTREL_SOURCE_DIR "/res/alert.wav");
        sound->Play("/nonexistent/alert.wav");         // the desktop's alert sound instead
        sound->Play(SENTREL_SOURCE_DIR "/README.md");  // not a sound at all
        for (int i = 0; i < 100; ++i) sound->Play(SENTREL_SOURCE_DIR "/res/alert.wav");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << "Play never waits";
    }
    // Ending the player waits at most for the play in progress to be handed over.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}
