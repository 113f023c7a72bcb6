// The main window's side of the URL store: the list loaded at start-up and saved at
// exit, and the import and export of URL text files.
#include <wx/filedlg.h>
#include <wx/filename.h>

#include <cstdio>
#include <ctime>

#include "CCore.h"
#include "Files.h"
#include "MonitorDlg.h"
#include "Notice.h"
#include "ShardState.h"
#include "TextRules.h"
#include "UrlTextFile.h"
#include "WatchList.h"
#include "WxText.h"

namespace sentrel {

namespace {

// A new file beside user.mdb that receives the list when user.mdb itself is unusable.
std::string RecoveryPath(const std::string& dir) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm t{};
    LocalTime(now, t);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    std::string base = dir + "user-" + stamp;
    std::string path = base + ".mdb";
    for (int i = 2; wxFileName::Exists(U(path)); ++i)
        path = base + "-" + std::to_string(i) + ".mdb";
    return path;
}

// The chosen path. GTK's dialog answers from its native chooser; when the dialog was
// answered without being shown (wx's modal testing hook), the path set on it is used.
wxString ChosenPath(const wxFileDialog& dlg) {
    wxString path = dlg.GetPath();
    return path.empty() ? dlg.wxFileDialogBase::GetPath() : path;
}

// Bytes from a file or the store as text. Lists written by older Windows tools are in the
// Chinese ANSI code page (GBK) rather than UTF-8; such text is read as GB18030, its
// superset, and any other bytes one for one, so that nothing turns into an empty cell.
wxString TextFromBytes(const std::string& line) {
    wxString text = wxString::FromUTF8(line.data(), line.size());
    if (!text.empty() || line.empty()) return text;
    text = wxString(line.data(), wxCSConv("GB18030"), line.size());
    return text.empty() ? wxString::From8BitData(line.data(), line.size()) : text;
}

}  // namespace

void CMonitorDlg::LoadUrlList() {
    m_session.Clear();
    m_strSaveTarget = g_strConnStr;
    UrlStore store(g_strConnStr);
    std::string error;
    // sentrel-watch shards that ran left their sizes beside the list: it takes them back.
    std::vector<std::string> problems;
    if (!FoldShardStates(g_strAppPath, store, error, problems)) problems.push_back(error);
    for (const std::string& problem : problems)
        m_strStartupProblems += Fill(Tr("分片的网页大小未能并入列表：{0}"), {problem}) + "\n";
    error.clear();
    m_bBulk = true;
    bool ok = store.Load(
        [this](UrlRow&& row) {
            row.url = S(TextFromBytes(row.url));
            row.title = S(TextFromBytes(row.title));
            AddStoredRow(m_session, row);
        },
        error);
    m_bBulk = false;
    m_pTextKeeper = std::make_unique<StoreTextKeeper>(m_strSaveTarget);
    m_session.SetTextKeeper(m_pTextKeeper.get());
    ResetListView();
    if (!ok) {
        // Never overwrite a store that could not be read with a list that may be
        // incomplete: this session's list goes to a new file beside it.
        m_strSaveTarget = RecoveryPath(g_strAppPath);
        m_strStartupProblems +=
            Fill(Tr("无法读取网址数据库：{0}\n原文件保持不变；本次退出时网址列表将保存到 {1}。"),
                 {error, m_strSaveTarget}) +
            "\n";
    }
}

void CMonitorDlg::SaveUrlList(bool bFinal) {
    const std::vector<UrlRow> rows = StoredRows(m_session);
    std::string error;
    if (UrlStore(m_strSaveTarget).Save(rows, error)) return;
    // The table keeps its previous rows; this session's list must not be lost either: it
    // goes to a file of its own, the same one for the rest of the session.
    std::fprintf(stderr, "sentrel: the URL list could not be saved: %s\n", error.c_str());
    const bool fresh = m_strRecoveryPath.empty();
    const std::string fallback = fresh ? RecoveryPath(g_strAppPath) : m_strRecoveryPath;
    std::string error2;
    std::string told = Fill(Tr("网址列表无法保存到 {0}（{1}）。"), {m_strSaveTarget, error}) + "\n";
    if (UrlStore(fallback).Save(rows, error2)) {
        m_strRecoveryPath = fallback;
        std::fprintf(stderr, "sentrel: the URL list was saved to %s instead\n", fallback.c_str());
        told += Fill(Tr("已另存为 {0}。"), {fallback});
    } else {
        if (fresh) fs::Remove(fallback);  // a full disk must not leave an empty file behind
        std::fprintf(stderr, "sentrel: saving to %s failed too: %s\n", fallback.c_str(),
                     error2.c_str());
        told += Fill(Tr("另存也失败了（{0}）：请检查磁盘空间和文件夹的权限。"), {error2});
    }
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
        path, [this](std::string&& url) { m_session.AddRow(S(TextFromBytes(url)), "", 0); });
    m_bBulk = false;
    ResetListView();
    if (!r.bOpened) {
        ReportFileProblem(U(Tr("无法打开文件：") + r.strError));
        return;
    }
    if (!r.bOk) {
        // What was read stays in the list.
        ReportFileProblem(U(Tr("读取文件时出错：") + r.strError));
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
    if (!r.bOpened) {
        ReportFileProblem(TrW("创建文件失败！"));
        return;
    }
    if (!r.bOk) {
        ReportFileProblem(U(Tr("写入文件时出错：") + r.strError));
        return;
    }
    SetStatusText(U(Fill(TrN("成功导出 {0} 条网址记录！", "成功导出 {0} 条网址记录！", n),
                         {std::to_string(n)})));
}

}  // namespace sentrel
