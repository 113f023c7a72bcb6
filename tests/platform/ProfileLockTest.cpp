// The profile's lock: one holder, who can be asked to show itself, and no stale lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/Files.h"
#include "platform/ProfileLock.h"
#include "testsupport/TempDir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "testsupport/Process.h"
#endif

using namespace sentrel;
using namespace sentrel::test;
namespace stdfs = std::filesystem;

TEST(PlatformProfileLock, OneHolderWhoCanBeAskedToShowItselfAndNoStaleLock) {
    TempDir dir;
    std::atomic<int> shown{0};
    {
        ProfileLock first;
        ASSERT_EQ(ProfileLock::kAcquired, first.Acquire(dir.Path()));
        EXPECT_TRUE(first.Listen([&] { ++shown; }));
        ProfileLock second;
        EXPECT_EQ(ProfileLock::kTaken, second.Acquire(dir.Path()));
        EXPECT_EQ(ProfileLock::kShown, ProfileLock::Ask(dir.Path()));
        for (int i = 0; i < 100 && shown == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(1, shown.load());
        first.StopListening();
        EXPECT_EQ(ProfileLock::kNobody, ProfileLock::Ask(dir.Path())) << "nobody listens any more";
    }
    ProfileLock again;  // the holder went: the lock is free at once
    EXPECT_EQ(ProfileLock::kAcquired, again.Acquire(dir.Path()));
    EXPECT_EQ(ProfileLock::kUnavailable, ProfileLock().Acquire(dir.File("no/such/folder")));
}

TEST(PlatformProfileLock, ALockFileThatCannotBeLockedIsAFailureWithItsReason) {
    TempDir dir;
    stdfs::create_directory(stdfs::u8path(dir.File("sentrel.lock")));  // a folder of that name
    ProfileLock lock;
    EXPECT_EQ(ProfileLock::kFailed, lock.Acquire(dir.Path()));
    EXPECT_NE(std::string::npos, lock.Problem().find("sentrel.lock")) << lock.Problem();
    EXPECT_FALSE(lock.Held());
}

#ifndef _WIN32
TEST(PlatformProfileLock, AHolderThatNeverAnswersIsToldWithinTwoSecondsHoweverManyAsk) {
    // A stopped first program: its name is bound and listens, but nothing accepts. The
    // queue fills after a few callers; every caller, the later ones too, hears no answer.
    TempDir dir;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string name = ProfileLock::ChannelName(dir.Path());
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len));
    ASSERT_EQ(0, ::listen(fd, 4));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> callers;
    std::atomic<int> noAnswer{0};
    for (int i = 0; i < 8; ++i)
        callers.emplace_back(
            [&] { noAnswer += ProfileLock::Ask(dir.Path()) == ProfileLock::kNoAnswer; });
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(8, noAnswer.load());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2800));
    ::close(fd);
}

TEST(PlatformProfileLock, ANameTakenByAnotherUserIsNeitherTrustedNorPassedOverInSilence) {
    if (::getuid() != 0) GTEST_SKIP() << "another user needs root to become";
    TempDir dir;
    // Another user binds the holder's name first and answers every caller "ok".
    int out = -1;
    const pid_t squatter =
        SpawnReading({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                      "/usr/bin/python3", "-c",
                      "import socket,sys\n"
                      "s=socket.socket(socket.AF_UNIX); s.bind('\\0'+sys.argv[1]); s.listen()\n"
                      "print('ready', flush=True)\n"
                      "while True:\n"
                      "    c,_=s.accept(); c.recv(16); c.send(b'ok\\n'); c.close()\n",
                      ProfileLock::ChannelName(dir.Path())},
                     &out);
    ASSERT_GT(squatter, 0);
    std::string line;
    ASSERT_TRUE(ReadLineFrom(out, line));
    ProfileLock holder;
    ASSERT_EQ(ProfileLock::kAcquired, holder.Acquire(dir.Path()));
    EXPECT_FALSE(holder.Listen([] {})) << "the failed listen is reported";
    EXPECT_NE("", holder.Problem());
    EXPECT_EQ(ProfileLock::kNoAnswer, ProfileLock::Ask(dir.Path())) << "another user's answer";
    kill(squatter, SIGKILL);
    WaitExit(squatter, std::chrono::seconds(5));
    close(out);
}
#endif

