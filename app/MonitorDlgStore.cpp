// The main window's side of the URL store: the list loaded at start-up and saved at
// exit, and the import and export of URL text files.
#include <wx/filedlg.h>
#include <wx/filename.h>

#include <cstdio>
#include <ctime>

#include "app/MonitorDlg.h"
#include "controls/Notice.h"
#include "controls/WxText.h"
#include "platform/Files.h"
#include "platform/TextRules.h"
#include "store/ListFile.h"
#include "store/ShardState.h"
#include "store/UrlTextFile.h"
#include "store/WatchList.h"
#include "support/CCore.h"

namespace sentrel {

namespace {

// The chosen path. GTK's dialog answers from its native chooser; when the dialog was
// answered without being shown (wx's modal testing hook), the path set on it is used.
wxString ChosenPath(const wxFileDialog& dlg) {
    wxString path = dlg.GetPath();
    return path.empty() ? dlg.wxFileDialogBase::GetPath() : path;
}

}  // namespace

void CMonitorDlg::LoadUrlList() {
    m_session.Clear();
    m_pList = std::make_unique<ListFile>(g_strAppPath);
    std::vector<std::string> problems;
    m_bBulk = true;
    // Shards of sentrel-watch that ran left their sizes beside the list: it takes them back.
    const bool read = m_pList->Load(m_session, ListFile::Shards::Fold, problems);
    m_bBulk = false;
    m_session.SetTextKeeper(&m_pList->Texts());
    m_pList->OnTextProblem([target = m_pToldTarget](const std::string& told) { target->Post(told); });
    ResetListView();
    for (const std::string& problem : problems) m_strStartupProblems += problem + "\n";
    if (!read)
        m_strStartupProblems +=
            Fill(Tr("无法读取网址数据库：{0}\n原文件保持不变；本次退出时网址列表将保存到 {1}。"),
                 {m_pList->ReadProblem(), m_pList->SaveTarget()}) +
            "\n";
}

void CMonitorDlg::SaveUrlList(bool bFinal) {
    std::string told;
    if (m_pList->Save(m_session, told)) return;
    std::fprintf(stderr, "sentrel: %s\n", told.c_str());
    // Said once, while the window is there to say it; the exit has no one to tell.
    if (!bFinal && !m_bListSaveToldUser) {
        m_bListSaveToldUser = true;
        ShowNotice(this, told);
    }
}

void CMonitorDlg::ReportFileProblem(const wxString& text) {
    ShowNotice(this, text, wxOK | wxICON_EXCLAMATION);
}

std::string CMonitorDlg::ChooseImportFile() {
    wxFileDialog dlg(this, wxEmptyString, wxEmptyString, wxEmptyString,
                     TrW("文本文件|*.txt|所有文件|*.*"), wxFD_OPEN);
    if (dlg.ShowModal() != wxID_OK) return std::string();
    wxFileName name(ChosenPath(dlg));
    // A name typed without an extension gets .txt, unless a file of that very name exists.
    if (!name.HasExt() && !name.FileExists()) name.SetExt("txt");
    return S(name.GetFullPath());
}

std::string CMonitorDlg::ChooseExportFile() {
    wxFileDialog dlg(this, wxEmptyString, wxEmptyString, "Export_Urls.txt",
                     "Text files|*.txt|All files|*.*", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dlg.ShowModal() != wxID_OK) return std::string();
    wxFileName name(ChosenPath(dlg));
    if (!name.HasExt()) {
        name.SetExt("txt");
        // The dialog asked about the name as typed; ask again for the name written.
        if (name.FileExists()) {
            if (ShowNotice(this, name.GetFullName() + TrW(" 已存在。\n要替换它吗？"),
                           wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION) != wxID_YES)
                return std::string();
        }
    }
    return S(name.GetFullPath());
}

void CMonitorDlg::OnImportUrls() {
    std::string path = ChooseImportFile();
    if (path.empty()) return;
    m_bBulk = true;
    UrlFileResult r = ImportUrlFile(
        path, [this](std::string&& url) { m_session.AddRow(StoredText(url), "", 0); });
    m_bBulk = false;
    ResetListView();
    if (r.outcome == FileOutcome::NotOpened) {
        ReportFileProblem(U(Tr("无法打开文件：") + r.reason));
        return;
    }
    if (!r.Ok()) {
        // What was read stays in the list.
        ReportFileProblem(U(Tr("读取文件时出错：") + r.reason));
        return;
    }
    if (r.nCount > 0) m_policy.ListChanged();
    const std::string imported = std::to_string(r.nCount);
    SetStatusText(U(Fill(TrN("成功导入 {0} 条网址记录！", "成功导入 {0} 条网址记录！", r.nCount), {imported})));
    if (r.nSkipped > 0)
        ReportFileProblem(U(Fill(
            TrN("成功导入 {0} 条网址记录，跳过 {1} 行（超过 64 KB 的行，或第 {2} 条以后的部分）。",
                "成功导入 {0} 条网址记录，跳过 {1} 行（超过 64 KB 的行，或第 {2} 条以后的部分）。",
                r.nSkipped),
            {imported, std::to_string(r.nSkipped), std::to_string(kMaxImportRows)})));
}

void CMonitorDlg::OnExportUrls() {
    const int n = m_session.RowCount();
    if (n == 0) {
        ReportFileProblem(TrW("没有任何需要导出的数据！"));
        return;
    }
    std::string path = ChooseExportFile();
    if (path.empty()) return;
    std::vector<std::string> urls;
    urls.reserve(static_cast<std::size_t>(n));
    for (const WatchRow& row : m_session.Rows()) urls.push_back(row.url);
    UrlFileResult r = ExportUrlFile(path, urls);
    if (r.outcome == FileOutcome::NotOpened) {
        ReportFileProblem(TrW("创建文件失败！"));
        return;
    }
    if (!r.Ok()) {
        ReportFileProblem(U(Tr("写入文件时出错：") + r.reason));
        return;
    }
    SetStatusText(U(Fill(TrN("成功导出 {0} 条网址记录！", "成功导出 {0} 条网址记录！", n),
                         {std::to_string(n)})));
}

}  // namespace sentrel
