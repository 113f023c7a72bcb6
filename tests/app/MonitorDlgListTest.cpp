// The list commands: context menus, the URL dialog, New, Edit, Delete, Clear, Open URL.
#include <gtest/gtest.h>
#include <wx/menu.h>
#include <wx/uiaction.h>

#include "ModalHook.h"
#include "MonitorFixture.h"
#include "app/UrlDlg.h"
#include "base/WorkerGroup.h"
#include "controls/OpenUrl.h"
#include "res/resource.h"
#include "store/UrlStore.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

const char* const kIni = "interval=1\nbalertwav=1\nbalertemail=0\n";

std::vector<int> Ids(const wxMenu& menu) {
    std::vector<int> ids;
    for (const wxMenuItem* item : menu.GetMenuItems())
        ids.push_back(item->IsSeparator() ? 0 : item->GetId() + 30000);
    return ids;
}

/// Answers the URL dialog: checks what it shows, types the texts, presses OK (or Cancel).
class FillUrlDlg : public wxExpectDismissableModal<CUrlDlg> {
  public:
    FillUrlDlg(const char* title, const char* url, const char* note, bool ok = true)
        : wxExpectDismissableModal<CUrlDlg>(ok ? wxID_OK : wxID_CANCEL),
          m_title(title),
          m_url(url),
          m_note(note),
          m_bOk(ok) {}
    std::string shownUrl, shownNote;

  protected:
    int OnInvoked(CUrlDlg* dlg) const override {
        EXPECT_EQ(m_title, dlg->GetTitle().utf8_string());
        auto* self = const_cast<FillUrlDlg*>(this);
        self->shownUrl = dlg->UrlEdit()->GetValue().utf8_string();
        self->shownNote = dlg->NoteEdit()->GetValue().utf8_string();
        if (!m_bOk) return wxID_CANCEL;
        dlg->UrlEdit()->ChangeValue(wxString::FromUTF8(m_url));
        dlg->NoteEdit()->ChangeValue(wxString::FromUTF8(m_note));
        dlg->OnOK();
        return dlg->GetReturnCode();
    }

  private:
    std::string m_title, m_url, m_note;
    bool m_bOk;
};

}  // namespace

TEST_F(MonitorFixture, ARightClickOpensOneMenuChosenByWhetherItHitARow) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    std::vector<std::vector<int>> menus;
    std::vector<wxPoint> where;
    dlg->SetMenuPresenterForTesting([&](wxMenu& menu, const wxPoint& at) {
        menus.push_back(Ids(menu));
        where.push_back(at);
    });
    dlg->Raise();
    Pump();
    auto* model = static_cast<wxDataViewVirtualListModel*>(UrlList(dlg)->GetModel());
    const wxRect row = UrlList(dlg)->GetItemRect(model->GetItem(1));
    ASSERT_FALSE(row.IsEmpty());
    wxUIActionSimulator sim;
    const wxPoint onRow = UrlList(dlg)->ClientToScreen(row.GetPosition() + wxPoint(40, 5));
    const wxPoint below = UrlList(dlg)->ClientToScreen(wxPoint(40, 170));
    for (const wxPoint& p : {onRow, below}) {
        sim.MouseMove(p);
        Pump();
        sim.MouseClick(wxMOUSE_BTN_RIGHT);
        WaitFor([&] { return false; }, 200ms);
    }
    ASSERT_EQ(2u, menus.size()) << "one click, one menu";
    EXPECT_EQ((std::vector<int>{ID_IMPORT, ID_EXPORT, ID_CLEAR_URLS, 0, ID_NEW_URL, ID_EDIT_URL,
                                ID_DELETE_URLS, 0, ID_OPEN_URL}),
              menus[0]);
    EXPECT_EQ((std::vector<int>{ID_IMPORT, ID_EXPORT, ID_CLEAR_URLS, 0, ID_NEW_URL}), menus[1]);
    EXPECT_EQ(dlg->ScreenToClient(onRow), where[0]) << "at the mouse position";
    EXPECT_EQ(dlg->ScreenToClient(below), where[1]);
    EXPECT_EQ(1, FirstSelectedRow(dlg)) << "the right click selected its row";
}

TEST_F(MonitorFixture, DeletingRowsOneAndThreeOfFiveKeepsTheOthersInOrder) {
    CMonitorDlg* dlg =
        OpenWith(kIni, {{"/0", "0"}, {"/1", "0"}, {"/2", "0"}, {"/3", "0"}, {"/4", "0"}});
    Mark(dlg, 4);
    Mark(dlg, 3);
    SelectRows(dlg, {1, 3});
    wxCommandEvent del(wxEVT_MENU, WXID(ID_DELETE_URLS));
    dlg->ProcessWindowEvent(del);
    ASSERT_EQ(3, dlg->Session().RowCount());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m_pages.Url("/" + std::to_string(i * 2)), Cell(i, 0));
    EXPECT_EQ(",2,", UpdatedRows(dlg)) << "row 4's mark moved with it; row 3's went";
    EXPECT_TRUE(IsRed(2));
}

TEST_F(MonitorFixture, ClearAsksAndOnlyYesEmptiesTheListAndTheSet) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    Mark(dlg, 1);
    wxTEST_DIALOG(Command(dlg, ID_CLEAR_URLS),
                  ExpectMessage("确定要清空所有监控网址吗？", wxID_NO));
    EXPECT_EQ(2, dlg->Session().RowCount());
    EXPECT_EQ(",1,", UpdatedRows(dlg));
    wxTEST_DIALOG(Command(dlg, ID_CLEAR_URLS),
                  ExpectMessage("确定要清空所有监控网址吗？", wxID_YES));
    EXPECT_EQ(0, dlg->Session().RowCount());
    EXPECT_EQ(",", UpdatedRows(dlg));
}

TEST_F(MonitorFixture, ClearingWhileRunningStopsEveryWatcher) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return AllRows("监控中"); }));
    wxTEST_DIALOG(Command(dlg, ID_CLEAR_URLS),
                  ExpectMessage("确定要清空所有监控网址吗？", wxID_YES));
    EXPECT_EQ(0, dlg->Session().ActiveWatchers());
    EXPECT_TRUE(WaitFor([&] { return dlg->Session().WatcherThreads() == 0; }, 2s));
    const int a = m_pages.Hits("/a");
    WaitFor([] { return false; }, 1500ms);
    EXPECT_EQ(a, m_pages.Hits("/a"));
}

TEST_F(MonitorFixture, NewRefusesAnEmptyOrOverlongUrlAndKeepsEachRowOnOneLine) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "7"}});
    // An empty URL: the warning, and the dialog stays open with the focus in the URL field.
    class EmptyThenBlanks : public wxExpectDismissableModal<CUrlDlg> {
      public:
        EmptyThenBlanks() : wxExpectDismissableModal<CUrlDlg>(wxID_OK) {}

      protected:
        int OnInvoked(CUrlDlg* url) const override {
            EXPECT_EQ("新增网址", url->GetTitle().utf8_string());
            EXPECT_TRUE(url->UrlEdit()->IsEmpty());
            url->Show();
            url->NoteEdit()->SetFocus();
            wxTEST_DIALOG(url->OnOK(), ExpectMessage("请输入网址！"));
            EXPECT_NE(wxID_OK, url->GetReturnCode()) << "still open";
            EXPECT_EQ(url->UrlEdit(), wxWindow::FindFocus());
            url->UrlEdit()->ChangeValue(" \t\r\n ");  // blanks only: nothing to watch
            wxTEST_DIALOG(url->OnOK(), ExpectMessage("请输入网址！"));
            // One character past the field's limit, as a paste brings it: refused and said.
            wxTEST_DIALOG(url->UrlEdit()->ChangeValue("http://x/" + wxString(65534 - 8, 'y')),
                          ExpectMessage("网址过长，不能超过 65534 个字符！"));
            EXPECT_GT(65534u, url->UrlEdit()->GetValue().length()) << "not kept cut short";
            // A paste with line breaks: one row, one line in an exported file.
            url->UrlEdit()->ChangeValue("  http://pasted/\r\nmore\t ");
            url->NoteEdit()->ChangeValue(wxString::FromUTF8("引号\"与\t制表符\r\n第二行"));
            // The page's own interval: whole seconds within the bounds, or none.
            for (const char* bad : {"0", "-5", "1.5", "一分钟", "31536001"}) {
                url->IntervalEdit()->ChangeValue(wxString::FromUTF8(bad));
                wxTEST_DIALOG(url->OnOK(),
                              ExpectMessage("间隔须为 1 到 31536000 之间的秒数，或留空为默认。"));
                EXPECT_EQ(url->IntervalEdit(), wxWindow::FindFocus()) << bad;
            }
            url->IntervalEdit()->ChangeValue(" 3600 ");
            url->OnOK();
            return url->GetReturnCode();
        }
    };
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), EmptyThenBlanks());
    ASSERT_EQ(2, dlg->Session().RowCount());
    EXPECT_EQ("http://pasted/more", Cell(1, 0));
    EXPECT_EQ("引号\"与\t制表符 第二行", Cell(1, 1));
    EXPECT_EQ("", Cell(1, 2));
    EXPECT_EQ("0", Cell(1, 3));

    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), FillUrlDlg("新增网址", "http://x/", "", false));
    EXPECT_EQ(2, dlg->Session().RowCount()) << "Cancel adds nothing";

    // A long URL and note round-trip through the store.
    const std::string longUrl = "http://example.com/" + std::string(3000, 'q');
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), FillUrlDlg("新增网址", longUrl.c_str(), "长备注"));
    Close();
    dlg = Open();
    ASSERT_EQ(3, dlg->Session().RowCount());
    EXPECT_EQ(longUrl, Cell(2, 0));
    EXPECT_EQ(3600, dlg->Session().Row(1).nInterval) << "kept in the store";
    EXPECT_EQ(0, dlg->Session().Row(2).nInterval);
    EXPECT_EQ("引号\"与\t制表符 第二行", Cell(1, 1));
}

TEST_F(MonitorFixture, EditChangesUrlAndNoteOfTheLowestSelectedRowAndKeepsTheRest) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "1234"}, {"/c", "0"}});
    Mark(dlg, 1);
    wxTEST_DIALOG(Command(dlg, ID_EDIT_URL), wxExpectDismissableModal<CUrlDlg>(wxID_OK).Optional());
    EXPECT_EQ(m_pages.Url("/b"), Cell(1, 0)) << "no selection: nothing to edit";
    SelectRows(dlg, {2, 1});
    FillUrlDlg fill("编辑网址", "http://new/", "新备注");
    wxTEST_DIALOG(Command(dlg, ID_EDIT_URL), fill);
    EXPECT_EQ(m_pages.Url("/b"), fill.shownUrl);
    EXPECT_EQ("http://new/", Cell(1, 0));
    EXPECT_EQ("新备注", Cell(1, 1));
    EXPECT_EQ("有更新！", Cell(1, 2));
    EXPECT_EQ("1234", Cell(1, 3)) << "the byte count stays";
    EXPECT_TRUE(IsRed(1)) << "the mark stays";
    EXPECT_EQ(m_pages.Url("/c"), Cell(2, 0));
}

TEST_F(MonitorFixture, OpenUrlClearsTheMarkFirstAndHandsOnlyWebUrlsToTheBrowser) {
    std::vector<std::string> opened;
    SetUrlOpenerForTesting([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}});
    AddRow(dlg, "/usr/bin/xterm");
    AddRow(dlg, "file:///etc/passwd");
    AddRow(dlg, "HTTPS://EXAMPLE.COM/");
    for (int r = 0; r < 4; ++r) Mark(dlg, r);
    for (int r = 0; r < 4; ++r) {
        SelectRows(dlg, {r});
        dlg->SetStatusText("");
        Command(dlg, ID_OPEN_URL);
        EXPECT_FALSE(IsRed(r)) << "the mark is cleared, whatever the text";
        EXPECT_EQ("停止", Cell(r, 2));
        EXPECT_EQ(r == 1 || r == 2, !StatusText(dlg).empty()) << r;
    }
    SetUrlOpenerForTesting(nullptr);
    EXPECT_EQ((std::vector<std::string>{m_pages.Url("/a"), "HTTPS://EXAMPLE.COM/"}), opened);
    EXPECT_EQ(",", UpdatedRows(dlg));
    EXPECT_FALSE(dlg->Tray().bBlinking);
}

TEST_F(MonitorFixture, EditsAndMeasuredSizesReachTheStoreWithoutAnExit) {
    m_pages.Set("/a", 4321);
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}});
    auto stored = [this] {
        std::vector<UrlRow> rows;
        std::string error;
        UrlStore(Home("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
        return rows;
    };
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), FillUrlDlg("新增网址", "http://added/", "n"));
    EXPECT_TRUE(WaitFor([&] { return stored().size() == 2; }, 5s))
        << "a crash or a killed desktop now loses at most the last two seconds";
    Press(dlg, IDC_START);
    EXPECT_TRUE(WaitFor(
        [&] {
            auto rows = stored();
            return rows.size() == 2 && rows[0].kbsize == "4321";
        },
        6s));
}

TEST_F(MonitorFixture, ANewRowLeavesTheSelectionAsItWas) {
    CMonitorDlg* dlg = OpenWith(kIni, {{"/a", "0"}, {"/b", "0"}});
    SelectRows(dlg, {1});
    AddRow(dlg, "http://c/");
    EXPECT_EQ(1, FirstSelectedRow(dlg));
    EXPECT_EQ(3u, static_cast<wxDataViewVirtualListModel*>(UrlList(dlg)->GetModel())->GetCount());
}

TEST_F(MonitorFixture, ATextRowIsEnteredWithItsRegionCheckedAndPreviewedOffTheWindow) {
    TestHttpServer pages([](TestServer::Conn& c, const std::string& head, int) {
        if (head.rfind("GET /slow ", 0) == 0) {
            c.Sleep(10s);  // a page that does not come: the preview is given up
            return;
        }
        const std::string body = "<script>x</script><div id=main><p>price 199</p></div><p>foot</p>";
        c.Write(TestHttpServer::Response(
            "200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n", body));
    });
    CMonitorDlg* dlg = OpenWith(kIni, {});
    class TextRow : public wxExpectDismissableModal<CUrlDlg> {
      public:
        explicit TextRow(const TestHttpServer& s) : wxExpectDismissableModal<CUrlDlg>(wxID_OK), m_s(s) {}

      protected:
        int OnInvoked(CUrlDlg* url) const override {
            url->Show();
            EXPECT_FALSE(url->SelectEdit()->IsEnabled()) << "a size row has no region";
            url->UrlEdit()->ChangeValue(m_s.Url("/page"));
            url->CompareChoice()->SetSelection(1);
            url->SelectEdit()->ChangeValue("div >");
            wxTEST_DIALOG(url->OnOK(), ExpectMessage("选择器有误：缺少选择器（第 6 个字符）"));
            EXPECT_NE(wxID_OK, url->GetReturnCode()) << "still open";
            url->SelectEdit()->ChangeValue("#main");
            url->OnPreview();
            EXPECT_TRUE(WaitFor([&] { return !url->PreviewRunning(); }, 5s));
            EXPECT_EQ("price 199\n", url->PreviewText()->GetValue().utf8_string());
            url->UrlEdit()->ChangeValue(m_s.Url("/slow"));
            url->OnPreview();
            EXPECT_TRUE(url->PreviewRunning());
            const auto start = std::chrono::steady_clock::now();
            url->OnPreview();  // pressed again: given up
            EXPECT_FALSE(url->PreviewRunning());
            EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
            EXPECT_EQ("预览已取消。", url->PreviewText()->GetValue().utf8_string());
            url->UrlEdit()->ChangeValue(m_s.Url("/page"));
            url->OnOK();
            return url->GetReturnCode();
        }

      private:
        const TestHttpServer& m_s;
    };
    wxTEST_DIALOG(Command(dlg, ID_NEW_URL), TextRow(pages));
    ASSERT_EQ(1, dlg->Session().RowCount());
    const WatchRow& row = dlg->Session().Row(0);
    EXPECT_TRUE(row.compare.Text());
    EXPECT_EQ("#main", row.compare.select);
    Close();
    dlg = Open();
    ASSERT_EQ(1, dlg->Session().RowCount());
    EXPECT_EQ("#main", dlg->Session().Row(0).compare.select) << "kept in the store";
}
