// The window's rendered rows: entered and previewed in the URL dialog as the browser shows
// the page, watched, and marked with the lines their data changed.
#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/testing.h>

#include "MonitorFixture.h"
#include "WindowDriver.h"
#include "app/ChangesDlg.h"
#include "app/Menus.h"
#include "app/MonitorDlg.h"
#include "app/UrlDlg.h"
#include "probe/Renderer.h"
#include "settings/OptionsDlg.h"
#include "testsupport/ScriptPages.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {


class RenderFixture : public MonitorFixture {
  protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        ASSERT_FALSE(browser.Path().empty()) << "no Chromium: scripts/deps.sh --test installs it";
        // The browser as the settings name it (Options' 浏览器).
        ini = "interval=1\nbalertwav=1\nbalertemail=0\nbrowser=" + browser.Path() + "\n";
        SetEnv("TMPDIR", temp.Path());
    }
    void TearDown() override {
        MonitorFixture::TearDown();  // the window's end ends the browser
        EXPECT_TRUE(ProcessesWith("--user-data-dir=" + temp.Path()).empty());
        EXPECT_TRUE(FolderEntries(temp.Path()).empty());
        UnsetEnv("TMPDIR");
    }
    std::string ini;
    TestBrowser browser;
    TempDir temp;
    ScriptSite site;
};

// Enters the shop's page as a rendered text row, previewing it with and without the browser.
class RenderedRow : public wxExpectDismissableModal<CUrlDlg> {
  public:
    explicit RenderedRow(const ScriptSite& s) : wxExpectDismissableModal<CUrlDlg>(wxID_OK), m_s(s) {}

  protected:
    int OnInvoked(CUrlDlg* url) const override {
        url->Show();
        EXPECT_FALSE(url->RenderCheck()->IsEnabled()) << "a size row is never rendered";
        url->UrlEdit()->ChangeValue(m_s.Url("/shell"));
        url->CompareChoice()->SetSelection(1);
        url->CompareChoice()->SendSelectionChangedEvent(wxEVT_CHOICE);
        EXPECT_TRUE(url->RenderCheck()->IsEnabled());
        url->SelectEdit()->ChangeValue("#app");
        url->OnPreview();
        EXPECT_TRUE(WaitFor([&] { return !url->PreviewRunning(); }, 10s));
        EXPECT_EQ("Loading…\n", url->PreviewText()->GetValue().utf8_string()) << "the page as the server sends it";
        url->RenderCheck()->SetValue(true);
        url->OnPreview();
        EXPECT_TRUE(WaitFor([&] { return !url->PreviewRunning(); }, 20s));
        EXPECT_EQ("Price 42\nStock 3\n", url->PreviewText()->GetValue().utf8_string()) << "as a browser shows it";
        url->OnOK();
        return url->GetReturnCode();
    }

  private:
    const ScriptSite& m_s;
};

TEST_F(RenderFixture, ARenderedRowIsPreviewedAsABrowserShowsItAndMarkedWithTheLinesItsDataChanged) {
    CMonitorDlg* dlg = OpenWith(ini, {});
    class Browser : public wxExpectDismissableModal<COptionsDlg> {
      public:
        explicit Browser(const std::string& path) : wxExpectDismissableModal<COptionsDlg>(wxID_CANCEL), m_path(path) {}

      protected:
        int OnInvoked(COptionsDlg* opt) const override {
            EXPECT_EQ(m_path, opt->BrowserEdit()->GetValue().utf8_string());
            return wxID_CANCEL;
        }

      private:
        std::string m_path;
    };
    wxTEST_DIALOG(dlg->OnOptions(), Browser(browser.Path()));
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), RenderedRow(site));
    ASSERT_EQ(1, dlg->Session().RowCount());
    EXPECT_TRUE(dlg->Session().Row(0).compare.render);
    Close();
    dlg = Open();
    ASSERT_EQ(1, dlg->Session().RowCount());
    EXPECT_TRUE(dlg->Session().Row(0).compare.render) << "kept in the store";

    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return dlg->Session().Row(0).nStoredHash != 0; }, 20s)) << "the first text";
    site.SetComment("the script's comment, changed");
    const int before = site.Hits("/shell");
    ASSERT_TRUE(WaitFor([&] { return site.Hits("/shell") >= before + 2; }, 20s));
    EXPECT_FALSE(IsRed(0)) << "a script that changed, showing the same";
    site.SetPrice("39");
    ASSERT_TRUE(WaitFor([&] { return IsRed(0); }, 20s));
    CChangesDlg* changes = dlg->ViewChanges(IdOf(dlg, 0));
    ASSERT_NE(nullptr, changes);
    ASSERT_TRUE(WaitFor([&] { return changes->Compared(); }, 10s));
    const std::vector<std::string> lines = changes->Lines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "− Price 42"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "+ Price 39"));
    changes->Destroy();
    Press(dlg, IDC_STOP);
    EXPECT_EQ(2, browser.Starts()) << "one for the first window's previews, one for the second's run";
}

}  // namespace
