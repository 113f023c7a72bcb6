// The list commands: the context menus, New, Edit, Delete, Clear and Open URL.
#include <wx/menu.h>

#include "app/ChangesDlg.h"
#include "app/Menus.h"
#include "app/MonitorDlg.h"
#include "app/UrlDlg.h"
#include "controls/Notice.h"
#include "controls/OpenUrl.h"
#include "controls/WxText.h"
#include "res/resource.h"

namespace sentrel {

wxMenu* CreateListMenu(bool bOnRow, bool bTextRow) {
    auto* menu = new wxMenu;
    menu->Append(WXID(ID_IMPORT), TrW("导入"));
    menu->Append(WXID(ID_EXPORT), TrW("导出"));
    menu->Append(WXID(ID_CLEAR_URLS), TrW("清空"));
    menu->AppendSeparator();
    menu->Append(WXID(ID_NEW_URL), TrW("新增..."));
    if (!bOnRow) return menu;
    menu->Append(WXID(ID_EDIT_URL), TrW("编辑..."));
    menu->Append(WXID(ID_DELETE_URLS), TrW("删除"));
    menu->AppendSeparator();
    menu->Append(WXID(ID_OPEN_URL), TrW("浏览网址"));
    if (bTextRow) menu->Append(WXID(ID_VIEW_CHANGES), TrW("查看变化"));
    return menu;
}

void CMonitorDlg::OnListContextMenu(wxDataViewEvent& event) {
    const wxDataViewItem item = event.GetItem();
    OpenListMenu(item.IsOk() ? static_cast<int>(m_model->GetRow(item)) : -1);
}

void CMonitorDlg::OpenListMenu(int nRow) {
    // A right click on a row that is not selected selects it alone, as in any list.
    if (nRow >= 0 && !m_listUrls->IsSelected(m_model->GetItem(static_cast<unsigned>(nRow))))
        SelectRows({nRow});
    std::unique_ptr<wxMenu> menu(
        CreateListMenu(nRow >= 0, nRow >= 0 && m_session.Row(nRow).compare.Text()));
    ShowMenu(*menu, ScreenToClient(wxGetMousePosition()));
}

void CMonitorDlg::OnNewUrl() {
    CUrlDlg dlg(this);
    dlg.m_bEdit = false;
    dlg.m_strProgramProxy = Values().m_strProxy;
    if (dlg.ShowModal() != wxID_OK) return;
    // A new row is never marked: its marks start with its first change.
    const RowId id = m_session.AddRow(S(dlg.m_strUrl), S(dlg.m_strNote), 0, {}, {}, dlg.m_compare);
    m_session.SetInterval(id, dlg.m_nInterval);
    m_session.SetAlertIf(id, dlg.m_strAlertIf);
    m_session.SetAccess(id, dlg.m_access);
    m_policy.ListChanged();
}

void CMonitorDlg::OnEditUrl() {
    const int r = GetFirstSelectedRow();
    if (r < 0) return;
    CUrlDlg dlg(this);
    dlg.m_bEdit = true;
    dlg.m_strUrl = U(m_session.Row(r).url);
    dlg.m_strNote = U(m_session.Row(r).note);
    dlg.m_compare = m_session.Row(r).compare;
    dlg.m_nInterval = m_session.Row(r).nInterval;
    dlg.m_strAlertIf = m_session.Row(r).alertIf;
    dlg.m_access = m_session.Row(r).access;
    dlg.m_strProgramProxy = Values().m_strProxy;
    const RowId id = m_session.Row(r).id;
    if (dlg.ShowModal() != wxID_OK) return;
    // Rows may have moved or gone while the dialog was open: the identity finds it.
    m_session.EditRow(id, S(dlg.m_strUrl), S(dlg.m_strNote));
    m_session.SetCompare(id, dlg.m_compare);
    m_session.SetInterval(id, dlg.m_nInterval);
    m_session.SetAlertIf(id, dlg.m_strAlertIf);
    m_session.SetAccess(id, dlg.m_access);
    m_policy.ListChanged();
}

void CMonitorDlg::OnClearUrls() {
    if (ShowNotice(this, Tr("确定要清空所有监控网址吗？"), wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION) !=
        wxID_YES)
        return;
    // Watchers and marks go with the rows; the blinking goes on until the next mark or
    // unmark decides about it.
    m_session.Clear();
    m_policy.ListChanged();
}

void CMonitorDlg::OnOpenUrl() {
    const int r = GetFirstSelectedRow();
    if (r >= 0) OpenRowUrl(m_session.Row(r).id);
}

void CMonitorDlg::OnViewChanges() {
    const int r = GetFirstSelectedRow();
    if (r >= 0) ViewChanges(m_session.Row(r).id);
}

CChangesDlg* CMonitorDlg::ViewChanges(RowId id) {
    const int r = m_session.IndexOf(id);
    if (r < 0) return nullptr;
    const std::string url = m_session.Row(r).url;
    std::vector<TextVersion> versions;
    std::string error;
    if (!m_pList->Versions(url, versions, error)) {
        ShowNotice(this, Tr("无法读取网页文字：") + error);
        return nullptr;
    }
    // Seeing what changed is seeing the change, as opening the page is.
    SetRowUpdated(id, false);
    // Read on the dialog's own thread, which may outlive this window's list by a moment.
    auto* dlg = new CChangesDlg(
        this, url, std::move(versions),
        [dir = g_strAppPath, url](int n, std::string& text, std::string& problem) {
            return ListFile(dir).VersionText(url, n, text, problem);
        },
        [this, id] { OpenRowUrl(id); });
    dlg->Show();
    return dlg;
}

void CMonitorDlg::OpenRowUrl(RowId id) {
    const int r = m_session.IndexOf(id);
    if (r < 0) return;
    SetRowUpdated(id, false);
    // Only web addresses go to the browser, as an argument and never through a shell:
    // a row holding a program's path or a file: URL is not run or opened.
    const std::string url = m_session.Row(r).url;
    if (IsWebUrl(url))
        OpenUrlInBrowser(url);  // a browser that fails to start is the desktop's to report
    else
        SetStatusText(TrW("不是网页地址，未打开。"));
}

}  // namespace sentrel
