// 查看变化 on its own: the texts are read and compared off the window's thread, within the
// word diff's bounds, and a dialog closed while it compares goes at once.
#include <gtest/gtest.h>

#include <atomic>

#include "MonitorFixture.h"
#include "app/ChangesDlg.h"

using namespace sentrel;
using namespace std::chrono_literals;

namespace {

// Two versions whose 34 changed lines have 9,999 words each, read slowly.
struct SlowVersions {
    std::string before, after;
    std::atomic<int> reads{0};
    SlowVersions() {
        for (int line = 0; line < 34; ++line) {
            for (int w = 0; w < 9999; ++w) {
                before += "w" + std::to_string((w * 7 + line) % 50) + " ";
                after += "w" + std::to_string((w * 13 + line) % 50) + " ";
            }
            before += "\n";
            after += "\n";
        }
    }
    CChangesDlg* Open() {
        std::vector<TextVersion> versions(2);
        versions[0].n = 1;
        versions[1].n = 2;
        return new CChangesDlg(
            nullptr, "http://example.com/", versions,
            [this](int n, std::string& text, std::string&) {
                ++reads;
                std::this_thread::sleep_for(300ms);
                text = n == 1 ? before : after;
                return true;
            },
            {});
    }
};

}  // namespace

TEST(ChangesDlg, ALongComparisonHoldsNoWindowAndIsBounded) {
    SlowVersions slow;
    const auto start = std::chrono::steady_clock::now();
    CChangesDlg* dlg = slow.Open();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms) << "opened before the texts are read";
    EXPECT_FALSE(dlg->Compared());
    EXPECT_EQ((std::vector<std::string>{"  正在比较…"}), dlg->Lines());
    ASSERT_TRUE(test::WaitFor([&] { return dlg->Compared(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    const std::vector<std::string> markups = dlg->LineMarkups();
    std::size_t marked = 0;
    for (const std::string& m : markups) marked += m.find("<span") != std::string::npos;
    EXPECT_EQ(4u, marked) << "two pairs' words within the bound; the other lines whole";
    EXPECT_EQ(68u, markups.size());
    dlg->Destroy();
    wxYield();
}

TEST(ChangesDlg, ADialogClosedWhileItComparesGoesAtOnceAndTheLatestAskedIsShown) {
    SlowVersions slow;
    CChangesDlg* dlg = slow.Open();
    dlg->Compare(1, 1);  // asked while the first is read: the latest is what shows
    ASSERT_TRUE(test::WaitFor([&] { return dlg->Compared(); }, 10s));
    EXPECT_EQ((std::vector<std::string>{"  （两个版本相同）"}), dlg->Lines());
    dlg->Compare(1, 2);
    const auto start = std::chrono::steady_clock::now();
    delete dlg;  // mid-read: its thread ends after the read under way
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}
