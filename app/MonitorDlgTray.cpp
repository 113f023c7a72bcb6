// The tray icon, its menu, and the blink timer that signals marked rows.
#include <wx/menu.h>

#include "app/Menus.h"
#include "app/MonitorDlg.h"
#include "app/TrayIcon.h"
#include "controls/SkinButton.h"
#include "controls/SkinResources.h"
#include "controls/WxText.h"
#include "res/resource.h"
#include "support/AlertSound.h"

namespace sentrel {

namespace {
constexpr int kBlinkPeriodMs = 1000;
}  // namespace

CTrayIcon::CTrayIcon(CMonitorDlg* owner) : m_pOwner(owner) {
    // The menu's commands are the window's.
    Bind(wxEVT_MENU, [this](wxCommandEvent& e) { m_pOwner->GetEventHandler()->ProcessEvent(e); });
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, [this](wxTaskBarIconEvent&) { m_pOwner->ShowFromTray(); });
    // Where notifications are the icon's balloons, a click on one shows the window.
    Bind(wxEVT_TASKBAR_BALLOON_CLICK, [this](wxTaskBarIconEvent&) { m_pOwner->ShowFromTray(); });
}

wxMenu* CreateTrayMenu() {
    auto* menu = new wxMenu;
    menu->Append(WXID(ID_OPTIONS), TrW("设置"));
    menu->AppendSeparator();
    menu->Append(WXID(ID_EXIT), TrW("退出"));
    return menu;
}

wxMenu* CTrayIcon::CreatePopupMenu() {
    return CreateTrayMenu();
}

void CMonitorDlg::NotifyTrayIcon(TrayOp op, int nIndex, const wxString& tip) {
    if (!m_pTray) return;
    if (op == kTrayDelete) {
        m_pTray->RemoveIcon();
        m_nTrayIconIndex = -1;
        m_strTrayTip.clear();
        return;
    }
    m_nTrayIconIndex = nIndex == 0 ? 0 : 1;
    m_strTrayTip = tip;
    m_pTray->SetIcon(wxBitmapBundle::FromIconBundle(
                         LoadIconResource(nIndex == 0 ? IDI_TRAY_BLINK : IDI_TRAY_REST)),
                     tip);
}

void CMonitorDlg::MarksPending(bool pending) {
    if (!pending) {
        m_timerBlink.Stop();
        NotifyTrayIcon(kTrayModify, 1, U(Tr(g_strTrayTips[0])));
    } else {
        m_timerBlink.Start(kBlinkPeriodMs);  // a new mark restarts the period
    }
}

void CMonitorDlg::OnBlinkTimer() {
    NotifyTrayIcon(kTrayModify, m_nTrayPhase, U(Tr(g_strTrayTips[1])));
    m_nTrayPhase = (m_nTrayPhase + 1) % 2;
    // Every other tick while monitoring runs; the player never makes the window wait.
    if (m_nTrayPhase == 0 && m_btnStop->IsActive() && m_pSound) {
        const std::string problem = SoundFileProblem(m_strWavPath);
        if (!problem.empty() && !m_bSoundProblemShown) {
            m_bSoundProblemShown = true;  // once: it would hide every other status
            SetStatusText(U(Fill(Tr("alert.wav {0}，改用系统提示音"), {problem})));
        }
        m_pSound->Play(m_strWavPath);  // the player itself never opens such a file
    }
}

void CMonitorDlg::ShowMenu(wxMenu& menu, const wxPoint& where) {
    if (m_fnShowMenu)
        m_fnShowMenu(menu, where);
    else
        PopupMenu(&menu, where);
}

void CMonitorDlg::OnPop() {
    m_btnPop->ClearActive();
    std::unique_ptr<wxMenu> menu(CreateTrayMenu());
    // Below the button: its left edge, its bottom.
    const wxRect r = m_btnPop->GetRect();
    ShowMenu(*menu, wxPoint(r.GetLeft(), r.GetBottom() + 1));
}

bool CMonitorDlg::HasTray() const {
    return m_pStatusTray || (m_pTray && wxTaskBarIcon::IsAvailable());
}

void CMonitorDlg::OnMin() {
    m_btnMin->ClearActive();
    // Hidden, the window comes back only through a tray: without one it goes to the taskbar.
    if (HasTray())
        Hide();
    else
        Iconize(true);
}

void CMonitorDlg::UpdateAttention() {
    if (m_pStatusTray)
        m_pStatusTray->SetAttention(!m_session.Marks().empty() && m_btnStop->IsActive());
}

void CMonitorDlg::ShowFromTray() {
    if (IsIconized()) Iconize(false);
    Show();
    Raise();
}

}  // namespace sentrel
