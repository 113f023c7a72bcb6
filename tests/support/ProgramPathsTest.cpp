// Where the program keeps its files: portable, installed (the user's XDG folders), or
// beside the executable.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "support/ProgramPaths.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

mode_t Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

/// A clean environment for each case, restored afterwards.
class ProgramPathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"SENTREL_HOME", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "APPDATA"}) {
            const char* v = std::getenv(name);
            m_saved.push_back({name, v ? v : "", v != nullptr});
            UnsetEnv(name);
        }
        SetEnv("HOME", m_home.Path().c_str());
        // An installed layout: <prefix>/bin beside <prefix>/share/sentrel.
        mkdir(m_prefix.File("bin").c_str(), 0755);
        mkdir(m_prefix.File("share").c_str(), 0755);
        mkdir(m_prefix.File("share/sentrel").c_str(), 0755);
    }
    void TearDown() override {
        for (const auto& s : m_saved) s.set ? SetEnv(s.name, s.value.c_str()) : UnsetEnv(s.name);
    }
    std::string Bin() const { return m_prefix.File("bin/"); }

    struct Saved {
        const char* name;
        std::string value;
        bool set;
    };
    std::vector<Saved> m_saved;
    TempDir m_home, m_prefix;
};

}  // namespace

TEST_F(ProgramPathsTest, AnInstalledProgramUsesTheUsersFolders) {
    ProgramPaths p = ProgramPaths::Decide(Bin());
    EXPECT_EQ(ProgramPaths::kInstalled, p.kind);
    EXPECT_EQ(m_home.File(".config/sentrel/"), p.configDir);
    EXPECT_EQ(m_home.File(".local/share/sentrel/"), p.dataDir);
    EXPECT_EQ(0700u, Mode(p.configDir)) << "the settings hold a password";
    EXPECT_NE(0u, Mode(p.dataDir)) << "created on first start";
    EXPECT_EQ(m_prefix.File("share/sentrel/alert.wav"), p.wavPath);
    EXPECT_EQ(m_prefix.File("share/doc/sentrel/index.html"), p.guidePath);
    EXPECT_EQ("", p.problem);

    // The user's own sound wins; XDG folders are taken when absolute, ignored otherwise.
    WriteFile(p.dataDir + "alert.wav", "RIFF");
    TempDir config, data;
    SetEnv("XDG_CONFIG_HOME", config.Path().c_str());
    SetEnv("XDG_DATA_HOME", "relative/data");
    ProgramPaths q = ProgramPaths::Decide(Bin());
    EXPECT_EQ(config.File("sentrel/"), q.configDir);
    EXPECT_EQ(m_home.File(".local/share/sentrel/"), q.dataDir);
    EXPECT_EQ(q.dataDir + "alert.wav", q.wavPath);
    SetEnv("XDG_DATA_HOME", data.Path().c_str());
    EXPECT_EQ(data.File("sentrel/"), ProgramPaths::Decide(Bin()).dataDir);
}

TEST_F(ProgramPathsTest, SentrelHomeAndABuildFolderKeepEverythingInOneFolder) {
    TempDir build;
    ProgramPaths b = ProgramPaths::Decide(build.Path());
    EXPECT_EQ(ProgramPaths::kBesideExecutable, b.kind) << "no share/sentrel beside it";
    EXPECT_EQ(build.Path() + "/", b.configDir);
    EXPECT_EQ(b.configDir, b.dataDir);
    EXPECT_EQ(b.dataDir + "alert.wav", b.wavPath);
    EXPECT_EQ(b.dataDir + "doc/index.html", b.guidePath);

    const std::string portable = m_home.File("profile/on/a/stick");
    SetEnv("SENTREL_HOME", portable.c_str());
    ProgramPaths p = ProgramPaths::Decide(Bin());
    EXPECT_EQ(ProgramPaths::kPortable, p.kind) << "SENTREL_HOME wins over an installed layout";
    EXPECT_EQ(portable + "/", p.configDir);
    EXPECT_EQ(portable + "/", p.dataDir);
    EXPECT_EQ(0700u, Mode(portable));
}

TEST_F(ProgramPathsTest, AFolderThatCannotBeMadeIsReportedAndNothingIsLost) {
    WriteFile(m_home.File("blocker"), "a file where a folder should be");
    SetEnv("XDG_CONFIG_HOME", m_home.File("blocker/config").c_str());
    SetEnv("XDG_DATA_HOME", m_home.File("data").c_str());
    ProgramPaths p = ProgramPaths::Decide(Bin());
    EXPECT_NE("", p.problem);
    EXPECT_NE(std::string::npos, p.problem.find("blocker")) << p.problem;
    EXPECT_EQ("a file where a folder should be", ReadFile(m_home.File("blocker")));
    EXPECT_NE(0u, Mode(m_home.File("data/sentrel"))) << "the data folder is made all the same";
}

TEST_F(ProgramPathsTest, TheWindowsSetupsProgramKeepsItsFilesInAppData) {
    TempDir exe, appData;
    const std::string dir = exe.Path() + "/";
    SetEnv("APPDATA", appData.Path().c_str());
    ProgramPaths portable = ProgramPaths::Decide(dir);
    EXPECT_EQ(dir, portable.dataDir) << "an unpacked folder keeps its files";
    WriteFile(exe.File("uninstall.exe"), "MZ");
    ProgramPaths p = ProgramPaths::Decide(dir);
    EXPECT_EQ(ProgramPaths::kInstalled, p.kind);
    EXPECT_EQ(appData.File("HalvexSentrel/"), p.configDir);
    EXPECT_EQ(p.configDir, p.dataDir);
    EXPECT_NE(0u, Mode(p.dataDir)) << "created on first start";
    EXPECT_EQ(dir + "alert.wav", p.wavPath) << "the installed sound";
    SetEnv("SENTREL_HOME", m_home.Path().c_str());
    EXPECT_EQ(m_home.Path() + "/", ProgramPaths::Decide(dir).dataDir) << "SENTREL_HOME wins";
}
