// The desktop's sound player never makes its caller wait, with or without a sound device.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "support/AlertSound.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace std::chrono_literals;

TEST(AlertSound, PlaysReturnAtOnceForGoodMissingAndBrokenFiles) {
    auto start = std::chrono::steady_clock::now();
    {
        auto sound = CAlertSound::CreateSystem();
        sound->Play(SENTREL_SOURCE_DIR "/res/alert.wav");
        sound->Play("/nonexistent/alert.wav");         // the desktop's alert sound instead
        sound->Play(SENTREL_SOURCE_DIR "/README.md");  // not a sound at all
        test::TempDir dir;
        ASSERT_EQ(0, mkfifo(dir.File("alert.wav").c_str(), 0600));
        sound->Play(dir.File("alert.wav"));  // opened, it would hold the exit for ever
        for (int i = 0; i < 100; ++i) sound->Play(SENTREL_SOURCE_DIR "/res/alert.wav");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << "Play never waits";
    }
    // Ending the player waits at most for the play in progress to be handed over.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(AlertSound, OnlyRegularFilesOfASaneSizeReachTheSoundSystem) {
    test::TempDir dir;
    test::WriteFile(dir.File("small.wav"), "RIFF");
    ASSERT_EQ(0, mkfifo(dir.File("fifo.wav").c_str(), 0600));
    // A sparse file: its size without its bytes.
    ASSERT_EQ(0, truncate((test::WriteFile(dir.File("huge.wav"), ""), dir.File("huge.wav")).c_str(),
                          65LL * 1024 * 1024));
    struct Case {
        std::string path;
        const char* problem;
    } cases[] = {
        {dir.File("small.wav"), ""},
        {dir.File("missing.wav"), ""},  // the desktop's alert sound plays
        {dir.File("fifo.wav"), "不是普通文件"},
        {dir.Path(), "不是普通文件"},
        {dir.File("huge.wav"), "大于 16 MB"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.problem, SoundFileProblem(c.path)) << c.path;
}
