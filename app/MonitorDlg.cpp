#include "MonitorDlg.h"

#include <wx/dcbuffer.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "CCore.h"
#include "MailProvider.h"
#include "SkinResources.h"
#include "TrayIcon.h"
#include "WorkerGroup.h"
#include "resource.h"

namespace sentrel {

const char* const g_strTrayTips[2] = {"HalvexSentrel", "发现网页更新！"};
std::string g_strAppPath;
std::string g_strConnStr;

namespace {

const char* const kFooterText = "访问官方主页";
const char* const kFooterLink = "https://sentrel.halvex.com/";
// The pause at the end of the orderly shutdown, which gives watchers between two
// requests time to see the flag; then requests still in flight are abandoned and the
// workers get this much longer at most.
constexpr std::chrono::milliseconds kStopPause(600);
constexpr std::chrono::milliseconds kAbortBound(2000);

wxString U(const char* text) {
    return wxString::FromUTF8(text);
}

}  // namespace

CMonitorDlg::CMonitorDlg()
    : wxDialog(nullptr, IDD_MAIN_DIALOG, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxBORDER_NONE | wxDIALOG_NO_PARENT) {
    SetFont(wxFont(wxFontInfo(9)));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_szRunFlag = std::make_shared<CRunFlag>();
    // Workers post here; the sink queues an event for the UI thread.
    m_pPostTarget = std::make_shared<PostTarget>(
        [this](unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
            wxThreadEvent* e = new wxThreadEvent(wxEVT_THREAD, static_cast<int>(msg));
            e->SetExtraLong(static_cast<long>(wParam));
            e->SetInt(static_cast<int>(lParam));
            wxQueueEvent(this, e);
        });

    m_btnStart = new CSkinButton(this, IDC_START);
    m_btnStop = new CSkinButton(this, IDC_STOP);
    m_btnPop = new CSkinButton(this, IDC_POP);
    m_btnMin = new CSkinButton(this, IDC_MIN);
    m_btnQuit = new CSkinButton(this, IDC_QUIT);
    m_linkFooter =
        new CLinkLabel(this, IDC_FOOTER_LINK, U(kFooterText), wxDefaultPosition, wxDefaultSize);
    m_listUrls = new wxListCtrl(this, IDC_URL_LIST, wxDefaultPosition, wxDefaultSize,
                                wxLC_REPORT | wxLC_HRULES | wxLC_VRULES | wxBORDER_SIMPLE);
    m_stStatus = new wxStaticText(this, IDC_STATUS, U("就绪"), wxPoint(7, 297), wxSize(150, 17),
                                  wxST_NO_AUTORESIZE);

    Bind(wxEVT_PAINT, &CMonitorDlg::OnPaint, this);
    Bind(wxEVT_CHAR_HOOK, &CMonitorDlg::OnCharHook, this);
    Bind(wxEVT_LEFT_DOWN, &CMonitorDlg::OnBodyLeftDown, this);
    Bind(wxEVT_MOTION, &CMonitorDlg::OnBodyMotion, this);
    Bind(wxEVT_LEFT_UP, &CMonitorDlg::OnBodyLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_bDragging = false; });
    Bind(wxEVT_BUTTON, &CMonitorDlg::OnQuit, this, IDC_QUIT);
    Bind(wxEVT_MENU, &CMonitorDlg::OnExit, this, ID_EXIT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { OnImportUrls(); }, ID_IMPORT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { OnExportUrls(); }, ID_EXPORT);
    Bind(wxEVT_END_SESSION, [this](wxCloseEvent&) {
        // The desktop session ends: save at once, then the same way out as a quit.
        SaveState();
        if (IsModal()) EndModal(0);
    });

    OnInitDialog();
}

CMonitorDlg::~CMonitorDlg() {
    Shutdown();
    m_pPostTarget->Close();
}

void CMonitorDlg::OnInitDialog() {
    g_pCore = new CCore();
    SetIcons(LoadIconResource(IDR_MAINFRAME));

    m_bmpBackground = LoadBitmapResource(IDB_BACKGROUND);
    wxSize bmpSize = m_bmpBackground.IsOk() ? m_bmpBackground.GetSize() : wxSize(530, 319);
    SetClientSize(bmpSize);
    SetMinClientSize(bmpSize);
    SetMaxClientSize(bmpSize);

    PlaceControls();
    SetTitle("Sentrel");

    m_btnStart->SetActive(true);
    m_btnStop->SetActive(false);

    g_strAppPath = g_pCore->getAppPath();
    g_pCore->autoFileConfig();
    g_strConnStr = g_pCore->getDbConnStrMdb(g_strAppPath + "user.mdb");
    m_strWavPath = g_strAppPath + "alert.wav";
    ReadSettings();
    m_strUpdatedRows = ",";
    m_nTrayPhase = 0;

    m_pTray = std::make_unique<CTrayIcon>();
    NotifyTrayIcon(kTrayAdd, 1, U(g_strTrayTips[0]));

    LoadUrlList();

    if (!g_pCore->ConfigProblem().empty())
        m_strStartupProblems =
            "设置文件 " + g_pCore->ConfigPath() + " 无法使用（" + g_pCore->ConfigProblem() +
            "），本次使用默认设置。\n原文件将另存为 sentrel.ini.bad。\n" + m_strStartupProblems;
}

void CMonitorDlg::PlaceControls() {
    const int W = GetClientSize().x, H = GetClientSize().y;
    m_btnStart->SetPosition(wxPoint(20, 30));
    m_btnStart->SetSkin(IDB_START_NORMAL, IDB_START_ACTIVE, IDB_START_HOVER);
    m_btnStop->SetPosition(wxPoint(90, 30));
    m_btnStop->SetSkin(IDB_STOP_NORMAL, IDB_STOP_ACTIVE, IDB_STOP_HOVER);

    m_btnPop->SetPosition(wxPoint(W - 100, 1));
    m_btnPop->SetSkin(IDB_POP_NORMAL, IDB_POP_ACTIVE, IDB_POP_ACTIVE);
    m_btnMin->SetPosition(wxPoint(W - 73, 1));
    m_btnMin->SetSkin(IDB_MIN_NORMAL, IDB_MIN_ACTIVE, IDB_MIN_ACTIVE);
    m_btnQuit->SetPosition(wxPoint(W - 46, 1));
    m_btnQuit->SetSkin(IDB_QUIT_NORMAL, IDB_QUIT_ACTIVE, IDB_QUIT_ACTIVE);

    // The label is 200 high and so reaches past the window's edge; only its text matters.
    wxRect link(W - 170, H - 20, 100, 200);
    m_linkFooter->SetSize(link);
    m_linkFooter->SetUrl(U(kFooterLink));
    if (m_bmpBackground.IsOk()) {
        wxRect visible = link.Intersect(wxRect(0, 0, W, H));
        m_linkFooter->SetBackdrop(m_bmpBackground.GetSubBitmap(visible));
    }

    m_listUrls->SetSize(3, 94, 524, 194);
    m_listUrls->InsertColumn(0, U("监控网址"), wxLIST_FORMAT_LEFT, 280);
    m_listUrls->InsertColumn(1, U("备注"), wxLIST_FORMAT_LEFT, 120);
    m_listUrls->InsertColumn(2, U("状态"), wxLIST_FORMAT_LEFT, 100);
    m_listUrls->InsertColumn(3, U("字节数"), wxLIST_FORMAT_LEFT, 0);
}

void CMonitorDlg::ReadSettings() {
    m_nInterval = g_pCore->getConfigInt("interval");
    m_bAlertWav = g_pCore->getConfigB("balertwav");
    m_bAlertEmail = g_pCore->getConfigB("balertemail");
    m_strEmailRcv = g_pCore->getConfigStr("emailrcv");
    m_strSendUser = g_pCore->getConfigStr("senduser");
    m_strSendPwd = g_pCore->getConfigStr("sendpwd");
    m_strSendUser = NormaliseSendUser(m_strSendUser);
}

void CMonitorDlg::StoreSettings() {
    g_pCore->saveConfigInt("interval", m_nInterval);
    g_pCore->saveConfigStr("emailrcv", m_strEmailRcv);
    g_pCore->saveConfigStr("senduser", m_strSendUser);
    g_pCore->saveConfigStr("sendpwd", m_strSendPwd);
    g_pCore->saveConfigB("balertwav", m_bAlertWav);
    g_pCore->saveConfigB("balertemail", m_bAlertEmail);
    if (!g_pCore->SaveProblem().empty())
        std::fprintf(stderr, "sentrel: settings not saved: %s\n", g_pCore->SaveProblem().c_str());
}

void CMonitorDlg::Shutdown() {
    if (m_bShutdownDone) return;
    m_bShutdownDone = true;
    m_szRunFlag->Set("STOP");
    SetStatusText(U("执行安全退出..."));
    NotifyTrayIcon(kTrayDelete, 0, wxEmptyString);
    m_pTray.reset();
    SaveState();
    std::this_thread::sleep_for(kStopPause);
    m_szRunFlag->Abort();
    Workers().WaitIdle(kAbortBound);
    delete g_pCore;
    g_pCore = nullptr;
}

void CMonitorDlg::SaveState() {
    if (m_bStateSaved || !g_pCore) return;
    m_bStateSaved = true;
    m_szRunFlag->Set("STOP");
    StoreSettings();
    SaveUrlList();
}

void CMonitorDlg::SetStatusText(const wxString& text) {
    m_stStatus->SetLabel(text);
}

wxString CMonitorDlg::GetStatusText() const {
    return m_stStatus->GetLabel();
}

void CMonitorDlg::NotifyTrayIcon(TrayOp op, int nIndex, const wxString& tip) {
    if (!m_pTray) return;
    if (op == kTrayDelete) {
        m_pTray->RemoveIcon();
        return;
    }
    m_pTray->SetIcon(wxBitmapBundle::FromIconBundle(
                         LoadIconResource(nIndex == 0 ? IDI_TRAY_BLINK : IDI_TRAY_REST)),
                     tip);
}

void CMonitorDlg::ShowStartupProblems() {
    if (m_strStartupProblems.empty()) return;
    std::string text;
    text.swap(m_strStartupProblems);
    g_pCore->msgboxWarning(this, text);
}

// ---- Window chrome ----

void CMonitorDlg::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    if (m_bmpBackground.IsOk())
        dc.DrawBitmap(m_bmpBackground, 0, 0, false);
    else
        dc.Clear();
}

void CMonitorDlg::OnCharHook(wxKeyEvent& event) {
    int key = event.GetKeyCode();
    if (key == WXK_ESCAPE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) return;  // swallowed
    event.Skip();
}

void CMonitorDlg::OnBodyLeftDown(wxMouseEvent& event) {
    // The body acts as a caption: pressing anywhere on it and dragging moves the window.
    m_bDragging = true;
    m_ptDragOffset = ClientToScreen(event.GetPosition()) - GetPosition();
    if (!HasCapture()) CaptureMouse();
}

void CMonitorDlg::OnBodyMotion(wxMouseEvent& event) {
    if (m_bDragging && event.LeftIsDown())
        Move(ClientToScreen(event.GetPosition()) - m_ptDragOffset);
}

void CMonitorDlg::OnBodyLeftUp(wxMouseEvent&) {
    m_bDragging = false;
    if (HasCapture()) ReleaseMouse();
}

void CMonitorDlg::OnQuit(wxCommandEvent&) {
    m_btnQuit->ClearActive();
    if (IsModal())
        EndModal(0);
    else
        Close(true);
}

void CMonitorDlg::OnExit(wxCommandEvent&) {
    if (IsModal())
        EndModal(0);
    else
        Close(true);
}

}  // namespace sentrel
