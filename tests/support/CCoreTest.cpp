// Settings in sentrel.ini: typed values across a restart, defaults, rights, bad files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>

#include "platform/Files.h"
#include "support/CCore.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;
namespace stdfs = std::filesystem;

namespace {
class CoreTest : public ::testing::Test {
  protected:
    void SetUp() override { SetEnv("SENTREL_HOME", m_home.Path().c_str()); }
    void TearDown() override { UnsetEnv("SENTREL_HOME"); }
    TempDir m_home;
};
}  // namespace

TEST_F(CoreTest, ProgramDirectoryEndsWithASeparator) {
    const std::string sep(1, fs::kSeparator);
    CCore core;
    EXPECT_EQ(m_home.Path() + sep, core.getAppPath());
    EXPECT_EQ(m_home.Path() + sep + "user.mdb",
              core.getDbConnStrMdb(core.getAppPath() + "user.mdb"));
    UnsetEnv("SENTREL_HOME");
    CCore beside;
    std::string dir = beside.getAppPath();
    EXPECT_EQ(fs::kSeparator, dir.back());
    EXPECT_NE(m_home.Path() + sep, dir);
}

TEST_F(CoreTest, EveryKeyTypeSurvivesARestart) {
    {
        CCore core;
        core.autoFileConfig();
        core.Set(keys::kInterval, -2147483647 - 1);
        core.Set(keys::kEmailRcv, "收件人@example.com");
        core.Set(keys::kSendUser, " spaced = name ");
        core.Set(keys::kSendPwd, "a\\b\r\nc\t;#[x]");
        core.Set(keys::kAlertWav, false);
        core.Set(keys::kAlertEmail, true);
        EXPECT_TRUE(core.SaveProblem().empty()) << core.SaveProblem();
    }
    CCore core;
    core.autoFileConfig();
    EXPECT_TRUE(core.ConfigProblem().empty()) << core.ConfigProblem();
    EXPECT_EQ(-2147483647 - 1, core.Get(keys::kInterval));
    EXPECT_EQ("收件人@example.com", core.Get(keys::kEmailRcv));
    EXPECT_EQ(" spaced = name ", core.Get(keys::kSendUser));
    EXPECT_EQ("a\\b\r\nc\t;#[x]", core.Get(keys::kSendPwd));
    EXPECT_FALSE(core.Get(keys::kAlertWav));
    EXPECT_TRUE(core.Get(keys::kAlertEmail));
}

TEST_F(CoreTest, KeysNeverStoredHaveTheirDefaults) {
    CCore core;
    core.autoFileConfig();
    EXPECT_EQ(60, core.Get(keys::kInterval));
    EXPECT_TRUE(core.Get(keys::kAlertWav));
    EXPECT_FALSE(core.Get(keys::kAlertEmail));
    EXPECT_EQ("", core.Get(keys::kEmailRcv));
    EXPECT_EQ("", core.Get(keys::kSendPwd));
    EXPECT_TRUE(core.ConfigProblem().empty());
}

#ifndef _WIN32  // rights bits and links as POSIX has them
TEST_F(CoreTest, FileIsReadableByItsOwnerOnly) {
    WriteFile(m_home.File("sentrel.ini"), "interval=5\n");
    chmod(m_home.File("sentrel.ini").c_str(), 0644);
    CCore core;
    core.Set(keys::kSendPwd, "secret");
    struct stat st {};
    ASSERT_EQ(0, stat(m_home.File("sentrel.ini").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_EQ(5, core.Get(keys::kInterval));
}

#endif

TEST_F(CoreTest, AnOlderFileKeepsItsNamesAndValues) {
    const std::string older =
        "interval=120\nbalertwav=0\nbalertemail=1\nemailrcv=a@b.cn\nsenduser=bob\n";
    WriteFile(m_home.File("sentrel.ini"), older);
    CCore core;
    core.autoFileConfig();
    EXPECT_EQ(120, core.Get(keys::kInterval));
    EXPECT_FALSE(core.Get(keys::kAlertWav));
    EXPECT_TRUE(core.Get(keys::kAlertEmail));
    EXPECT_EQ("a@b.cn", core.Get(keys::kEmailRcv));
    EXPECT_EQ("bob", core.Get(keys::kSendUser));
    core.Set(keys::kEmailRcv, "a@b.cn");  // a write puts back every line under its name
    const std::string ini = ReadFile(m_home.File("sentrel.ini"));
    for (const char* line : {"interval=120\n", "balertwav=0\n", "balertemail=1\n",
                             "emailrcv=a@b.cn\n", "senduser=bob\n"})
        EXPECT_NE(std::string::npos, ini.find(line)) << ini;
}

TEST_F(CoreTest, BadValuesFallBackAndAreReported) {
    WriteFile(m_home.File("sentrel.ini"),
              "; comment\r\n[section]\r\ninterval=soon\r\nbalertwav=maybe\r\nemailrcv=ok@x\r\njunk "
              "line\r\n");
    CCore core;
    core.autoFileConfig();
    EXPECT_EQ(60, core.Get(keys::kInterval));
    EXPECT_TRUE(core.Get(keys::kAlertWav));
    EXPECT_EQ("ok@x", core.Get(keys::kEmailRcv));
    EXPECT_NE(std::string::npos, core.ConfigProblem().find("interval"));
    EXPECT_NE(std::string::npos, core.ConfigProblem().find("balertwav"));
}

TEST_F(CoreTest, BinaryOrUnreadableFilesGiveDefaults) {
    WriteFile(m_home.File("sentrel.ini"), std::string("interval=5\n\0\xfe\xff", 14));
    CCore binary;
    binary.autoFileConfig();
    EXPECT_EQ(60, binary.Get(keys::kInterval));
    EXPECT_FALSE(binary.ConfigProblem().empty());

    // A directory where the file should be: unreadable, reported, and the program goes on.
    TempDir other;
    SetEnv("SENTREL_HOME", other.Path().c_str());
    stdfs::create_directory(stdfs::u8path(other.File("sentrel.ini")));
    CCore unreadable;
    unreadable.autoFileConfig();
    EXPECT_EQ(60, unreadable.Get(keys::kInterval));
    EXPECT_FALSE(unreadable.ConfigProblem().empty());
}

TEST(CoreEscaping, RoundTripsAnyText) {
    for (std::string s :
         {std::string(""), std::string("\\"), std::string("\\n"), std::string("a\nb\\\r")})
        EXPECT_EQ(s, CCore::UnescapeValue(CCore::EscapeValue(s)));
}

TEST_F(CoreTest, LoneCarriageReturnsEndLinesAndNothingIsReset) {
    WriteFile(m_home.File("sentrel.ini"), "interval=42\rbalertwav=0\rsenduser=bob\r");
    CCore core;
    EXPECT_EQ(42, core.Get(keys::kInterval));
    EXPECT_FALSE(core.Get(keys::kAlertWav));
    EXPECT_EQ("bob", core.Get(keys::kSendUser));
    EXPECT_EQ("", core.ConfigProblem()) << "a readable file is no problem";
}

TEST_F(CoreTest, BackslashesOfTheUserAndOtherToolsAreKept) {
    WriteFile(m_home.File("sentrel.ini"),
              "sendpwd=ab\\cd\\\\e\\n\npath=C:\\Users\\me\\new\nodd = spaced\\t value \n");
    {
        CCore core;
        EXPECT_EQ("ab\\cd\\e\n", core.Get(keys::kSendPwd))
            << "only the writer's own escapes are decoded";
        core.Set(keys::kSendPwd, core.Get(keys::kSendPwd));
    }
    CCore again;
    EXPECT_EQ("ab\\cd\\e\n", again.Get(keys::kSendPwd));
    const std::string ini = ReadFile(m_home.File("sentrel.ini"));
    EXPECT_NE(std::string::npos, ini.find("\npath=C:\\Users\\me\\new\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("\nodd = spaced\\t value \n")) << ini;
}

#ifndef _WIN32
TEST_F(CoreTest, APlantedLinkIsNeverFollowedWhenSaving) {
    // Whatever name a temporary file might have had, a link there is left alone.
    const std::string victim = m_home.File("victim.txt");
    WriteFile(victim, "precious");
    ASSERT_EQ(0, symlink(victim.c_str(), m_home.File("sentrel.ini.tmp").c_str()));
    CCore core;
    core.Set(keys::kSendPwd, "secret");
    EXPECT_EQ("", core.SaveProblem());
    EXPECT_EQ("precious", ReadFile(victim));
    EXPECT_NE(std::string::npos, ReadFile(m_home.File("sentrel.ini")).find("sendpwd=secret"));
    struct stat st {};
    ASSERT_EQ(0, stat(m_home.File("sentrel.ini").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

#endif

TEST_F(CoreTest, ABatchWritesOnceAndAFailedWriteKeepsTheValuesInMemory) {
    const std::string ini = m_home.File("sentrel.ini");
    {
        CCore core;
        {
            CCore::SaveBatch batch(core);
            core.Set(keys::kInterval, 7);
            core.Set(keys::kSendUser, "bob");
            EXPECT_FALSE(stdfs::exists(stdfs::u8path(ini))) << "nothing is written inside a batch";
        }
        EXPECT_NE(std::string::npos, ReadFile(ini).find("interval=7\n"));
        EXPECT_NE(std::string::npos, ReadFile(ini).find("senduser=bob\n"));

        // The folder goes away: the write fails, reported once, and the values stay.
        TempDir gone;
        SetEnv("SENTREL_HOME", gone.Path().c_str());
        CCore failing;
        failing.autoFileConfig();
        ASSERT_TRUE(stdfs::remove(stdfs::u8path(gone.Path())));
        {
            CCore::SaveBatch batch(failing);
            failing.Set(keys::kSendPwd, "new");
            failing.Set(keys::kInterval, 9);
        }
        EXPECT_NE("", failing.SaveProblem());
        EXPECT_EQ("new", failing.Get(keys::kSendPwd));
        EXPECT_EQ(9, failing.Get(keys::kInterval));
        // Once the folder is back, the next store writes every value still unsaved.
        ASSERT_TRUE(stdfs::create_directory(stdfs::u8path(gone.Path())));
        failing.Set(keys::kAlertWav, false);
        EXPECT_EQ("", failing.SaveProblem());
        CCore reread;
        EXPECT_EQ("new", reread.Get(keys::kSendPwd));
        EXPECT_EQ(9, reread.Get(keys::kInterval));
        SetEnv("SENTREL_HOME", m_home.Path().c_str());
    }
    // Storing what the file already holds does not rewrite it.
    WriteFile(ini, "interval=7\nmarker=1\n");
    CCore same;
    same.Set(keys::kInterval, 7);
    EXPECT_EQ("interval=7\nmarker=1\n", ReadFile(ini));
}

TEST_F(CoreTest, TheFileIsReadOnceAndOtherLinesAreWrittenBackOnce) {
    WriteFile(m_home.File("sentrel.ini"), "interval=5\nother=1\n");
    CCore core;
    EXPECT_EQ(5, core.Get(keys::kInterval));
    // Changed behind the program's back: the values read at the start stay.
    WriteFile(m_home.File("sentrel.ini"), "interval=6\nother=1\n");
    EXPECT_EQ(5, core.Get(keys::kInterval));
    core.Set(keys::kSendUser, "bob");
    core.Set(keys::kSendPwd, "pw");
    const std::string ini = ReadFile(m_home.File("sentrel.ini"));
    EXPECT_EQ(ini.find("other=1\n"), ini.rfind("other=1\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("interval=5\n")) << ini;
}

#ifndef _WIN32
TEST_F(CoreTest, AFifoNamedLikeTheFileIsNeverWaitedOn) {
    ASSERT_EQ(0, mkfifo(m_home.File("sentrel.ini").c_str(), 0600));
    CCore core;
    core.autoFileConfig();  // opening a FIFO for reading waits for a writer
    EXPECT_EQ(60, core.Get(keys::kInterval)) << "defaults";
    EXPECT_EQ("不是普通文件", core.ConfigProblem());
}
#endif

#ifndef _WIN32
TEST_F(CoreTest, ThePasswordMovesToTheKeyringAndIsFoundThereAfterARestart) {
    // libsecret's file backend: a keyring without a daemon, in this test's own folder.
    SetEnv("SECRET_BACKEND", "file");
    SetEnv("SECRET_FILE_TEST_PATH", m_home.File("keyring"));
    SetEnv("SECRET_FILE_TEST_PASSWORD", "test");
    WriteFile(m_home.File("sentrel.ini"), "senduser=alice\nsendpwd=s3cret\n");
    {
        CCore core;
        core.autoFileConfig();
        EXPECT_EQ("s3cret", core.Get(keys::kSendPwd)) << "a password of an older file reads";
        core.Set(keys::kInterval, 30);  // the next store moves it
        EXPECT_EQ("", core.KeyringProblem());
    }
    const std::string moved = ReadFile(m_home.File("sentrel.ini"));
    EXPECT_EQ(std::string::npos, moved.find("s3cret")) << moved;
    EXPECT_NE(std::string::npos, moved.find("\nsendpwd=\n")) << "the key stays, empty: " << moved;
    CCore core;
    core.autoFileConfig();
    EXPECT_EQ("s3cret", core.Get(keys::kSendPwd));
    // Another server or user has its own entry: none here.
    core.Set(keys::kSmtpHost, "mail.example.com");
    EXPECT_EQ("", core.Get(keys::kSendPwd));
    core.Set(keys::kSendPwd, "other");
    EXPECT_EQ(std::string::npos, ReadFile(m_home.File("sentrel.ini")).find("other"));
    for (const char* name :
         {"SECRET_BACKEND", "SECRET_FILE_TEST_PATH", "SECRET_FILE_TEST_PASSWORD"})
        UnsetEnv(name);
}

TEST_F(CoreTest, WithoutAKeyringTheOwnerOnlyFileKeepsThePassword) {
    UnsetEnv("DISPLAY");  // no session bus to start either
    SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.File("no-bus"));
    CCore core;
    core.autoFileConfig();
    core.Set(keys::kSendUser, "alice");
    core.Set(keys::kSendPwd, "s3cret");
    EXPECT_NE("", core.KeyringProblem());
    EXPECT_NE(std::string::npos, ReadFile(m_home.File("sentrel.ini")).find("sendpwd=s3cret\n"));
}
#endif

TEST_F(CoreTest, AFirstStoreWritesTheSixSettingsThePasswordEmpty) {
    UnsetEnv("DISPLAY");
    SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.File("no-bus"));
    {
        CCore core;
        core.autoFileConfig();
        core.Store(core.Read());
    }
    const std::string ini = ReadFile(m_home.File("sentrel.ini"));
    for (const char* line : {"\ninterval=60\n", "\nemailrcv=\n", "\nsenduser=\n", "\nsendpwd=\n",
                             "\nbalertwav=1\n", "\nbalertemail=0\n"})
        EXPECT_NE(std::string::npos, ini.find(line)) << line << " in " << ini;
    CCore again;
    again.autoFileConfig();
    EXPECT_EQ("", again.ConfigProblem());
    EXPECT_EQ("", again.Get(keys::kSendPwd));
}
