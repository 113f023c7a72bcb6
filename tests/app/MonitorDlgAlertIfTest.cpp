// The window's conditions on a text row: entered and checked in the URL dialog, a change
// that meets none kept quietly, a told one marked with its condition, and 查看变化's
// versions compared word by word.
#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/testing.h>

#include "MonitorFixture.h"
#include "WindowDriver.h"
#include "app/ChangesDlg.h"
#include "app/Menus.h"
#include "app/MonitorDlg.h"
#include "app/UrlDlg.h"
#include "testsupport/ShopPage.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

// Enters the page with conditions, typed as a user types them.
class WithConditions : public wxExpectDismissableModal<CUrlDlg> {
  public:
    explicit WithConditions(std::string url) : wxExpectDismissableModal<CUrlDlg>(wxID_OK), m_url(std::move(url)) {}

  protected:
    int OnInvoked(CUrlDlg* url) const override {
        url->Show();
        EXPECT_FALSE(url->AlertIfEdit()->IsEnabled()) << "a size row has no conditions";
        url->UrlEdit()->ChangeValue(m_url);
        url->CompareChoice()->SetSelection(1);
        url->CompareChoice()->SendSelectionChangedEvent(wxEVT_CHOICE);
        EXPECT_TRUE(url->AlertIfEdit()->IsEnabled());
        struct Typed {
            const char* rules;
            const char* says;
        } typed[] = {
            {"below:cheap", "提醒条件第 1 行“below:cheap”有误：“cheap” 不是数字"},
            {"appears:In stock\nsoon:1", "提醒条件第 2 行“soon:1”有误"},
            {"", "留空则每次变化都提醒"},
            {"below:100\nappears:In stock\nchange:5%", "3 条条件，预览后显示当前文字满足哪些"},
        };
        for (const Typed& t : typed) {
            url->AlertIfEdit()->SetValue(wxString::FromUTF8(t.rules));  // as typed: its events
            EXPECT_NE(std::string::npos, url->AlertIfStatus().find(t.says))
                << t.rules << ": " << url->AlertIfStatus();
        }
        url->OnPreview();
        EXPECT_TRUE(WaitFor([&] { return !url->PreviewRunning(); }, 10s));
        EXPECT_EQ("预览的文字满足：below:100；不满足：appears:In stock；变化时判断：change:5%",
                  url->AlertIfStatus());
        url->AlertIfEdit()->SetValue("below:100\nappears:In stock");
        url->OnOK();
        return url->GetReturnCode();
    }

  private:
    std::string m_url;
};

TEST_F(MonitorFixture, AConditionTellsOnlyTheChangeThatMeetsItAndEveryVersionCompares) {
    ShopPage shop;
    shop.Set("80", "Sold out");
    CMonitorDlg* dlg = OpenWith("interval=1\nbalertwav=1\nbalertemail=0\n", {});
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), WithConditions(shop.server.Url("/kettle")));
    ASSERT_EQ(1, dlg->Session().RowCount());
    EXPECT_EQ("below:100\nappears:In stock", dlg->Session().Row(0).alertIf);
    shop.Set("120", "Sold out");
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return dlg->Session().Row(0).nStoredHash != 0; }, 10s)) << "the first text";
    // A change that meets no condition: kept, not told.
    shop.Set("110", "Sold out");
    int seen = shop.hits;
    ASSERT_TRUE(WaitFor([&] { return shop.hits >= seen + 2; }, 10s));
    EXPECT_FALSE(IsRed(0));
    EXPECT_FALSE(dlg->Tray().bBlinking);
    // Below 100: told, with the condition.
    shop.Set("99,50", "Sold out");
    ASSERT_TRUE(WaitFor([&] { return IsRed(0); }, 10s));
    EXPECT_EQ("有更新！（条件：below:100）", Cell(0, 2));
    EXPECT_TRUE(dlg->Tray().bBlinking);
    Press(dlg, IDC_STOP);

    CChangesDlg* changes = dlg->ViewChanges(IdOf(dlg, 0));
    ASSERT_NE(nullptr, changes);
    const std::vector<std::string> versions = changes->VersionRows();
    ASSERT_EQ(3u, versions.size());
    EXPECT_EQ(0u, versions[0].find("3 | ")) << versions[0];
    EXPECT_NE(std::string::npos, versions[0].find(" | +1 −1 | 条件：below:100")) << versions[0];
    EXPECT_NE(std::string::npos, versions[1].find("未提醒（不满足提醒条件）")) << versions[1];
    EXPECT_NE(std::string::npos, versions[2].find("首个版本")) << versions[2];
    // The last two at first, the changed word highlighted in its line.
    ASSERT_TRUE(WaitFor([&] { return changes->Compared(); }, 10s));
    std::vector<std::string> lines = changes->Lines();
    EXPECT_EQ((std::vector<std::string>{"  Kettle", "− Price: 110 €", "+ Price: 99,50 €", "  Sold out"}),
              lines);
    const std::vector<std::string> marked = changes->LineMarkups();
    EXPECT_EQ("− Price: <span bgcolor='#ffc4c4'>110</span> €", marked[1]);
    EXPECT_EQ("+ Price: <span bgcolor='#b8f0b8'>99,50</span> €", marked[2]);
    changes->Compare(3, 1);
    ASSERT_TRUE(WaitFor([&] { return changes->Compared(); }, 10s));
    lines = changes->Lines();
    EXPECT_EQ("− Price: 120 €", lines[1]);
    EXPECT_EQ("+ Price: 99,50 €", lines[2]);
    changes->Destroy();

    // Kept with the list.
    Close();
    dlg = Open();
    ASSERT_EQ(1, dlg->Session().RowCount());
    EXPECT_EQ("below:100\nappears:In stock", dlg->Session().Row(0).alertIf);
}

}  // namespace
