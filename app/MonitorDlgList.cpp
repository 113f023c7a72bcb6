// The list commands: the context menus, New, Edit, Delete, Clear and Open URL.
#include <wx/menu.h>
#include <wx/msgdlg.h>

#include "MonitorDlg.h"
#include "OpenUrl.h"
#include "UrlDlg.h"
#include "WxText.h"
#include "resource.h"

namespace sentrel {

wxMenu* CMonitorDlg::CreateListMenu(bool bOnRow) {
    auto* menu = new wxMenu;
    menu->Append(WXID(ID_IMPORT), U("导入"));
    menu->Append(WXID(ID_EXPORT), U("导出"));
    menu->Append(WXID(ID_CLEAR_URLS), U("清空"));
    menu->AppendSeparator();
    menu->Append(WXID(ID_NEW_URL), U("新增..."));
    if (!bOnRow) return menu;
    menu->Append(WXID(ID_EDIT_URL), U("编辑..."));
    menu->Append(WXID(ID_DELETE_URLS), U("删除"));
    menu->AppendSeparator();
    menu->Append(WXID(ID_OPEN_URL), U("浏览网址"));
    return menu;
}

int CMonitorDlg::RowAt(const wxPoint& ptList) const {
    if (ptList.x < 0 || ptList.x >= m_listUrls->GetClientSize().x) return -1;
    const long top = m_listUrls->GetTopItem();
    const long end =
        std::min<long>(m_listUrls->GetItemCount(), top + m_listUrls->GetCountPerPage() + 1);
    for (long i = std::max(0L, top); i < end; ++i) {
        wxRect r;
        // The whole band of a row counts, also right of its last column (full-row select).
        if (m_listUrls->GetItemRect(i, r) && ptList.y >= r.GetTop() && ptList.y <= r.GetBottom())
            return static_cast<int>(i);
    }
    return -1;
}

void CMonitorDlg::OnListRClick(wxContextMenuEvent& event) {
    wxPoint screen = event.GetPosition();
    if (screen == wxDefaultPosition) {
        screen = wxGetMousePosition();  // the menu key
    } else {
        if (m_nRightPresses == m_nMenuPress) return;  // this press has had its menu
        m_nMenuPress = m_nRightPresses;
    }
    const int row = RowAt(m_listUrls->ScreenToClient(screen));
    std::unique_ptr<wxMenu> menu(CreateListMenu(row >= 0));
    ShowMenu(*menu, ScreenToClient(screen));
}

void CMonitorDlg::OnNewUrl() {
    CUrlDlg dlg(this);
    dlg.m_bEdit = false;
    if (dlg.ShowModal() != wxID_OK) return;
    AppendRow(dlg.m_strUrl, dlg.m_strNote, wxString(), "0");
    ScheduleSave();
}

void CMonitorDlg::OnEditUrl() {
    const int r = GetFirstSelectedRow();
    if (r < 0) return;
    CUrlDlg dlg(this);
    dlg.m_bEdit = true;
    dlg.m_strUrl = m_listUrls->GetItemText(r, 0);
    dlg.m_strNote = m_listUrls->GetItemText(r, 1);
    const long id = static_cast<long>(m_listUrls->GetItemData(r));
    if (dlg.ShowModal() != wxID_OK) return;
    // Messages may have moved or deleted rows while the dialog was open.
    const long row = m_listUrls->FindItem(-1, static_cast<wxUIntPtr>(id));
    if (row < 0) return;
    m_listUrls->SetItem(row, 0, dlg.m_strUrl);
    m_listUrls->SetItem(row, 1, dlg.m_strNote);
    ScheduleSave();
}

void CMonitorDlg::OnClearUrls() {
    wxMessageDialog ask(this, U("确定要清空所有监控网址吗？"), U("提示"),
                        wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
    if (ask.ShowModal() != wxID_YES) return;
    for (auto& [nWatch, watcher] : m_run.watchers) watcher.pStop->Set("STOP");
    m_run.watchers.clear();
    m_listUrls->DeleteAllItems();
    // The blinking goes on until the next mark or unmark decides about it.
    m_strUpdatedRows = ",";
    ScheduleSave();
}

void CMonitorDlg::OnOpenUrl() {
    const int r = GetFirstSelectedRow();
    if (r < 0) return;
    SetRowUpdated(r, false);
    // Only web addresses go to the browser, as an argument and never through a shell:
    // a row holding a program's path or a file: URL is not run or opened.
    const std::string url = m_listUrls->GetItemText(r, 0).utf8_string();
    if (IsWebUrl(url))
        OpenUrlInBrowser(url);  // a browser that fails to start is the desktop's to report
    else
        SetStatusText(U("不是网页地址，未打开。"));
}

}  // namespace sentrel
