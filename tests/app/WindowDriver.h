#pragma once
// The main window as tests drive it: through its controls and commands (found by their
// resource numbers, as a user finds them on the screen), and through its model.
#include <wx/dataview.h>
#include <wx/timer.h>

#include <string>
#include <vector>

#include "app/MonitorDlg.h"
#include "app/UrlListModel.h"
#include "controls/LinkLabel.h"
#include "controls/SkinButton.h"
#include "controls/WxText.h"
#include "res/resource.h"

namespace sentrel::test {

inline CSkinButton* ButtonOf(CMonitorDlg* dlg, int id) {
    return wxDynamicCast(dlg->FindWindow(id), CSkinButton);
}
inline CSkinButton* StartButton(CMonitorDlg* dlg) {
    return ButtonOf(dlg, IDC_START);
}
inline CSkinButton* StopButton(CMonitorDlg* dlg) {
    return ButtonOf(dlg, IDC_STOP);
}
inline CSkinButton* PopButton(CMonitorDlg* dlg) {
    return ButtonOf(dlg, IDC_POP);
}
inline CSkinButton* MinButton(CMonitorDlg* dlg) {
    return ButtonOf(dlg, IDC_MIN);
}
inline CSkinButton* QuitButton(CMonitorDlg* dlg) {
    return ButtonOf(dlg, IDC_QUIT);
}
inline CLinkLabel* FooterLink(CMonitorDlg* dlg) {
    return wxDynamicCast(dlg->FindWindow(IDC_FOOTER_LINK), CLinkLabel);
}
inline wxDataViewCtrl* UrlList(CMonitorDlg* dlg) {
    return wxDynamicCast(dlg->FindWindow(IDC_URL_LIST), wxDataViewCtrl);
}
inline wxString StatusText(CMonitorDlg* dlg) {
    return dlg->FindWindow(IDC_STATUS)->GetLabel();
}
inline void SetStatusTextForTest(CMonitorDlg* dlg, const char* text) {
    dlg->SetStatusText(wxString::FromUTF8(text));
}
/// wx dialogs running a modal loop now.
inline int ModalDialogsOpen() {
    int n = 0;
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* d = wxDynamicCast(w, wxDialog); d && d->IsModal()) ++n;
    return n;
}

/// A click on a button, as its handler receives it.
inline void Press(CMonitorDlg* dlg, int id) {
    wxCommandEvent e(wxEVT_BUTTON, id);
    e.SetEventObject(dlg->FindWindow(id));
    dlg->GetEventHandler()->ProcessEvent(e);
}
/// A menu command (Options, New..., Import, ...).
inline void Command(CMonitorDlg* dlg, int id) {
    wxCommandEvent e(wxEVT_MENU, WXID(id));
    dlg->GetEventHandler()->ProcessEvent(e);
}
/// One tick of the blink timer.
inline void BlinkTick(CMonitorDlg* dlg) {
    wxTimer timer(nullptr, IDT_BLINK);
    wxTimerEvent e(timer);
    dlg->GetEventHandler()->ProcessEvent(e);
}

// ---- Rows, through the model ----
inline RowId IdOf(CMonitorDlg* dlg, int row) {
    return dlg->Session().Row(row).id;
}
inline int AddRow(CMonitorDlg* dlg, const std::string& url, const std::string& note = "",
                  int size = 0) {
    dlg->Session().AddRow(url, note, size);
    return dlg->Session().RowCount() - 1;
}
/// Marks the row's page as changed, or clears the mark as the user's look does.
inline void Mark(CMonitorDlg* dlg, int row, bool marked = true) {
    dlg->Session().SetMarked(IdOf(dlg, row), marked);
}
/// The marked rows as ",3,7,": their indices in the order they were marked.
inline std::string UpdatedRows(CMonitorDlg* dlg) {
    std::string set = ",";
    for (RowId id : dlg->Session().Marks()) set += std::to_string(dlg->Session().IndexOf(id)) + ",";
    return set;
}
inline std::string Cell(CMonitorDlg* dlg, int row, int column) {
    return CUrlListModel::CellText(dlg->Session().Row(row), static_cast<unsigned>(column))
        .utf8_string();
}
inline bool IsRed(CMonitorDlg* dlg, int row) {
    return CUrlListModel::RowColour(dlg->Session().Row(row)) == wxColour(255, 0, 0);
}
/// The lowest selected row, or -1.
inline int FirstSelectedRow(CMonitorDlg* dlg) {
    wxDataViewCtrl* list = UrlList(dlg);
    auto* model = static_cast<CUrlListModel*>(list->GetModel());
    wxDataViewItemArray items;
    list->GetSelections(items);
    int first = -1;
    for (const wxDataViewItem& i : items) {
        const int row = static_cast<int>(model->GetRow(i));
        if (first < 0 || row < first) first = row;
    }
    return first;
}
inline void SelectRows(CMonitorDlg* dlg, const std::vector<int>& rows) {
    wxDataViewCtrl* list = UrlList(dlg);
    auto* model = static_cast<CUrlListModel*>(list->GetModel());
    wxDataViewItemArray items;
    for (int r : rows) items.push_back(model->GetItem(static_cast<unsigned>(r)));
    list->SetSelections(items);
}

}  // namespace sentrel::test
