// The list in user.mdb across runs, and the import and export commands.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <wx/filedlg.h>

#include <csignal>
#include <filesystem>

#include "DialogFixture.h"
#include "ModalHook.h"
#include "store/UrlStore.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

std::vector<UrlRow> Stored(const std::string& path) {
    std::vector<UrlRow> rows;
    std::string error;
    UrlStore(path).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
    return rows;
}

}  // namespace

TEST_F(DialogFixture, AListEditedInOneRunIsThereAfterARestart) {
    std::string error;
    ASSERT_TRUE(UrlStore(Home("user.mdb"))
                    .Save({{"http://a/", "首页", "1000"}, {"http://b/", "", "0"}}, error));
    CMonitorDlg* dlg = Open();
    CMonitorDlg* list = dlg;
    ASSERT_EQ(2, list->Session().RowCount());
    EXPECT_EQ("http://a/", Cell(list, 0, 0));
    EXPECT_EQ("首页", Cell(list, 0, 1));
    EXPECT_EQ("", Cell(list, 0, 2)) << "status starts empty";
    EXPECT_EQ("1000", Cell(list, 0, 3));

    AddRow(list, "http://c/?q='x'", "tab\tnote", -7);
    Close();

    dlg = Open();
    list = dlg;
    ASSERT_EQ(3, list->Session().RowCount());
    EXPECT_EQ("1000", Cell(list, 0, 3));
    EXPECT_EQ("http://c/?q='x'", Cell(list, 2, 0));
    EXPECT_EQ("tab\tnote", Cell(list, 2, 1));
    EXPECT_EQ("0", Cell(list, 2, 3)) << "a byte count below 1 is stored as 0";
}

TEST_F(DialogFixture, NonUtf8TextInTheStoreIsKeptNotBlanked) {
    std::string error;
    ASSERT_TRUE(UrlStore(Home("user.mdb")).Save({{"http://a/", "\xD0\xC2\xCE\xC5", "7"}}, error));
    EXPECT_EQ("新闻", Cell(Open(), 0, 1));
    Close();
    EXPECT_EQ("新闻", Stored(Home("user.mdb"))[0].title) << "written back as UTF-8";
}

TEST_F(DialogFixture, AnEmptyListEmptiesTheStore) {
    std::string error;
    ASSERT_TRUE(UrlStore(Home("user.mdb")).Save({{"http://a/", "", "1"}}, error));
    wxTEST_DIALOG(Command(Open(), ID_CLEAR_URLS), wxExpectModal<wxMessageDialog>(wxID_YES));
    Close();
    EXPECT_TRUE(Stored(Home("user.mdb")).empty());
}

TEST_F(DialogFixture, AnUnreadableStoreIsNeverOverwritten) {
    const std::string junk = "not a database at all " + std::string(4096, '#');
    WriteFile(Home("user.mdb"), junk);
    CMonitorDlg* dlg = Open();
    wxTEST_DIALOG(EXPECT_TRUE(dlg->ShowStartupProblems()),
                  ExpectMessageStarting("无法读取网址数据库："));
    AddRow(dlg, "http://kept/", "", 5);
    Close();
    EXPECT_EQ(junk, ReadFile(Home("user.mdb")));
    std::string target;  // the session's list went to a file of its own beside it
    for (const auto& e : std::filesystem::directory_iterator(m_home.Path()))
        if (e.path().filename().string().rfind("user-", 0) == 0) target = e.path().string();
    auto rows = Stored(target);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("http://kept/", rows[0].url);
}

TEST_F(DialogFixture, ImportAppendsTheFilesUrls) {
    CMonitorDlg* dlg = Open();
    AddRow(dlg, "http://existing/", "note", 77);
    WriteFile(Home("list.txt"),
              "http://a/\r\n  http://b/  \r\n\t\r\nhttp://existing/\r\n\r\nhttp://late/\r\n");
    wxTEST_DIALOG(Command(dlg, ID_IMPORT), wxExpectModal<wxFileDialog>(Home("list.txt")));
    CMonitorDlg* list = dlg;
    ASSERT_EQ(4, list->Session().RowCount());
    EXPECT_EQ("77", Cell(list, 0, 3)) << "existing rows stay as they were";
    EXPECT_EQ("http://a/", Cell(list, 1, 0));
    EXPECT_EQ("http://b/", Cell(list, 2, 0));
    EXPECT_EQ("http://existing/", Cell(list, 3, 0));
    EXPECT_EQ("", Cell(list, 3, 1));
    EXPECT_EQ("", Cell(list, 3, 2));
    EXPECT_EQ("0", Cell(list, 3, 3));
    EXPECT_EQ(wxString::FromUTF8("成功导入 3 条网址记录！"), StatusText(dlg));
}

TEST_F(DialogFixture, ImportReadsGbkListsOfOlderTools) {
    CMonitorDlg* dlg = Open();
    // "http://a/新闻" in GBK, then a UTF-8 line.
    WriteFile(Home("gbk.txt"), "http://a/\xD0\xC2\xCE\xC5\r\nhttp://b/\xE6\x96\xB0\r\n");
    wxTEST_DIALOG(Command(dlg, ID_IMPORT), wxExpectModal<wxFileDialog>(Home("gbk.txt")));
    ASSERT_EQ(2, dlg->Session().RowCount());
    EXPECT_EQ("http://a/新闻", Cell(dlg, 0, 0));
    EXPECT_EQ("http://b/新", Cell(dlg, 1, 0));
}

TEST_F(DialogFixture, ImportNameWithoutExtensionGetsTxt) {
    CMonitorDlg* dlg = Open();
    WriteFile(Home("urls.txt"), "http://a/\n");
    wxTEST_DIALOG(Command(dlg, ID_IMPORT), wxExpectModal<wxFileDialog>(Home("urls")));
    EXPECT_EQ(1, dlg->Session().RowCount());
}

TEST_F(DialogFixture, ImportOfAMissingFileIsReportedAndChangesNothing) {
    CMonitorDlg* dlg = Open();
    wxTEST_DIALOG(Command(dlg, ID_IMPORT), wxExpectModal<wxFileDialog>(Home("missing.txt")),
                  wxExpectModal<wxMessageDialog>(wxID_OK));
    EXPECT_EQ(0, dlg->Session().RowCount());
    EXPECT_EQ(wxString::FromUTF8("就绪"), StatusText(dlg));
}

TEST_F(DialogFixture, ExportWritesTheUrlsAndReportsTheCount) {
    CMonitorDlg* dlg = Open();
    wxTEST_DIALOG(Command(dlg, ID_EXPORT), wxExpectModal<wxMessageDialog>(wxID_OK));  // empty list
    AddRow(dlg, "http://a/%d", "note", 5);
    AddRow(dlg, "http://b/", "", 0);
    wxTEST_DIALOG(Command(dlg, ID_EXPORT), wxExpectModal<wxFileDialog>(Home("out.txt")));
    EXPECT_EQ("http://a/%d\r\nhttp://b/\r\n", ReadFile(Home("out.txt")));
    EXPECT_EQ(wxString::FromUTF8("成功导出 2 条网址记录！"), StatusText(dlg));

    dlg->SetStatusText("x");
    wxTEST_DIALOG(Command(dlg, ID_EXPORT), wxExpectModal<wxFileDialog>(Home("no/dir/out.txt")),
                  wxExpectModal<wxMessageDialog>(wxID_OK));
    EXPECT_EQ("x", StatusText(dlg));
}

namespace {
/// While it lives, no file of this process can grow: a full disk, as root sees one too.
class FullDisk {
  public:
    FullDisk() {
        std::signal(SIGXFSZ, SIG_IGN);  // a refused write, not the end of the process
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit none = m_old;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_old); }

  private:
    rlimit m_old{};
};

/// Answers and counts every box shown while it lives.
class CountBoxes : public wxModalDialogHook {
  public:
    CountBoxes() { Register(); }
    ~CountBoxes() override { Unregister(); }
    int shown = 0;

  protected:
    int Enter(wxDialog*) override { return ++shown, wxID_OK; }
    void Exit(wxDialog*) override {}
};

int RecoveryFiles(const std::string& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind("user-", 0) == 0) ++n;
    return n;
}
}  // namespace

TEST_F(DialogFixture, SavesThatFailAreToldOnceAndLeaveNoEmptyFile) {
    CMonitorDlg* dlg = Open();
    AddRow(dlg, "http://a/", "", 5);
    {
        FullDisk full;
        wxTEST_DIALOG(dlg->Policy().SaveNow(), ExpectMessageStarting("网址列表无法保存到 "));
        EXPECT_EQ(0, RecoveryFiles(m_home.Path())) << "no empty recovery file";
        CountBoxes boxes;
        dlg->Policy().SaveNow();
        EXPECT_EQ(0, boxes.shown) << "told once";
        Settings s = dlg->Values();
        s.m_nInterval = 33;
        boxes.Unregister();
        wxTEST_DIALOG(dlg->ApplySettings(s), ExpectMessageStarting("设置无法保存到 "));
        boxes.Register();
        dlg->ApplySettings(s);
        EXPECT_EQ(0, boxes.shown) << "told once";
    }
    // With room again, the next saves of the session go through.
    dlg->Policy().SaveNow();
    std::vector<UrlRow> rows = Stored(Home("user.mdb"));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("http://a/", rows[0].url);
    Close();
    EXPECT_NE(std::string::npos, ReadFile(Home("sentrel.ini")).find("interval=33\n"));
}
