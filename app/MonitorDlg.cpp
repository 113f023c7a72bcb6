#include "MonitorDlg.h"

#include <algorithm>
#include <cstdio>

#include "AlertSound.h"
#include "CCore.h"
#include "Keyring.h"
#include "MailProvider.h"
#include "Notice.h"
#include "OpenUrl.h"
#include "OptionsDlg.h"
#include "Product.h"
#include "SkinResources.h"
#include "ThreadMessages.h"
#include "TrayIcon.h"
#include "WorkerGroup.h"
#include "WxPost.h"
#include "WxText.h"
#include "resource.h"

namespace sentrel {

const char* const g_strTrayTips[2] = {"HalvexSentrel", "发现网页更新！"};
std::string g_strAppPath;
std::string g_strConnStr;

namespace {

const char* const kFooterText = "访问官方主页";

}  // namespace

CMonitorDlg::CMonitorDlg()
    : wxDialog(nullptr, IDD_MAIN_DIALOG, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxBORDER_NONE | wxDIALOG_NO_PARENT),
      m_pExitFlag(std::make_shared<CRunFlag>()),
      m_session(m_pExitFlag),
      m_timerBlink(this, IDT_BLINK),
      m_timerSave(this, IDT_SAVE),
      m_timerNotify(this, IDT_NOTIFY) {
    SetFont(wxFont(wxFontInfo(9)));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_pPostTarget = MakeWxPostTarget(this);  // workers post here
    m_pSound = CAlertSound::CreateSystem();

    m_btnStart = new CSkinButton(this, IDC_START);
    m_btnStop = new CSkinButton(this, IDC_STOP);
    m_btnPop = new CSkinButton(this, IDC_POP);
    m_btnMin = new CSkinButton(this, IDC_MIN);
    m_btnQuit = new CSkinButton(this, IDC_QUIT);
    m_linkFooter =
        new CLinkLabel(this, IDC_FOOTER_LINK, U(kFooterText), wxDefaultPosition, wxDefaultSize);
    m_listUrls =
        new wxDataViewCtrl(this, IDC_URL_LIST, wxDefaultPosition, wxDefaultSize,
                           wxDV_MULTIPLE | wxDV_HORIZ_RULES | wxDV_VERT_RULES | wxBORDER_SIMPLE);
    m_model = new CUrlListModel(m_session);  // the list takes its own reference
    m_listUrls->AssociateModel(m_model.get());
    m_session.Subscribe([this](const WatchEvent& e) { OnWatchEvent(e); });
    m_stStatus = new wxStaticText(this, IDC_STATUS, U("就绪"), wxPoint(7, 297), wxSize(150, 17),
                                  wxST_NO_AUTORESIZE);

    BindCommands();
    OnInitDialog();
}

CMonitorDlg::~CMonitorDlg() {
    m_timerBlink.Stop();
    m_timerSave.Stop();
    m_timerNotify.Stop();
    m_pNotifier.reset();
    m_pStatusTray.reset();
    m_pPostTarget->Close();
    m_pTray.reset();
}

void CMonitorDlg::BindCommands() {
    Bind(wxEVT_PAINT, &CMonitorDlg::OnPaint, this);
    Bind(wxEVT_CHAR_HOOK, &CMonitorDlg::OnCharHook, this);
    Bind(wxEVT_LEFT_DOWN, &CMonitorDlg::OnBodyLeftDown, this);
    Bind(wxEVT_MOTION, &CMonitorDlg::OnBodyMotion, this);
    Bind(wxEVT_LEFT_UP, &CMonitorDlg::OnBodyLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_bDragging = false; });
    Bind(wxEVT_THREAD, &CMonitorDlg::OnThreadMessage, this);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { OnBlinkTimer(); }, IDT_BLINK);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { SaveUrlList(false); }, IDT_SAVE);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { ShowNotices(); }, IDT_NOTIFY);

    auto button = [this](int id, void (CMonitorDlg::*handler)()) {
        Bind(
            wxEVT_BUTTON, [this, handler](wxCommandEvent&) { (this->*handler)(); }, id);
    };
    button(IDC_START, &CMonitorDlg::OnStart);
    button(IDC_STOP, &CMonitorDlg::OnStop);
    button(IDC_POP, &CMonitorDlg::OnPop);
    button(IDC_MIN, &CMonitorDlg::OnMin);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
            m_btnQuit->ClearActive();
            RequestQuit();
        },
        IDC_QUIT);

    auto command = [this](int id, void (CMonitorDlg::*handler)()) {
        Bind(
            wxEVT_MENU, [this, handler](wxCommandEvent&) { (this->*handler)(); }, WXID(id));
    };
    command(ID_OPTIONS, &CMonitorDlg::OnOptions);
    command(ID_EXIT, &CMonitorDlg::RequestQuit);
    command(ID_IMPORT, &CMonitorDlg::OnImportUrls);
    command(ID_EXPORT, &CMonitorDlg::OnExportUrls);
    command(ID_NEW_URL, &CMonitorDlg::OnNewUrl);
    command(ID_EDIT_URL, &CMonitorDlg::OnEditUrl);
    command(ID_DELETE_URLS, &CMonitorDlg::OnDeleteUrls);
    command(ID_CLEAR_URLS, &CMonitorDlg::OnClearUrls);
    command(ID_OPEN_URL, &CMonitorDlg::OnOpenUrl);
    m_listUrls->Bind(wxEVT_DATAVIEW_ITEM_CONTEXT_MENU, &CMonitorDlg::OnListContextMenu, this);
    m_listUrls->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED,
                     [this](wxDataViewEvent&) { ShowFailingSince(GetFirstSelectedRow()); });

    // The window has no frame to close, but a desktop may still ask: that is a quit.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { RequestQuit(); });
    Bind(wxEVT_END_SESSION, [this](wxCloseEvent&) {
        // The desktop session ends: save at once, then the same way out as a quit.
        SaveState();
        RequestQuit();
    });
}

void CMonitorDlg::OnInitDialog() {
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

    m_strWavPath = g_pCore ? g_pCore->Paths().wavPath : g_strAppPath + "alert.wav";
    ReadSettings();
    MovePasswordToKeyring();
    m_nTrayPhase = 0;

    // A StatusNotifierItem where the desktop has a watcher for one; else the XEmbed icon,
    // which docks once a tray host is there.
    m_pStatusTray = CreateStatusTray(this);
    if (!m_pStatusTray) {
        m_pTray = std::make_unique<CTrayIcon>(this);
        NotifyTrayIcon(kTrayAdd, 1, U(g_strTrayTips[0]));
    }
    m_pNotifier = CreateNotifier(this, m_pTray.get());

    LoadUrlList();

    if (g_pCore && !g_pCore->Paths().problem.empty())
        m_strStartupProblems +=
            "无法创建文件夹 " + g_pCore->Paths().problem + "\n本次的设置和网址列表将无法保存。\n";
    if (g_pCore && !g_pCore->ConfigProblem().empty())
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
    const std::string homepage = Homepage(g_pCore ? g_pCore->Paths().guidePath : "");
    SetProgramPage(homepage);
    m_linkFooter->SetUrl(U(homepage));
    if (m_bmpBackground.IsOk()) {
        wxRect visible = link.Intersect(wxRect(0, 0, W, H));
        m_linkFooter->SetBackdrop(m_bmpBackground.GetSubBitmap(visible));
    }

    m_listUrls->SetSize(3, 94, 524, 194);
    m_listUrls->AppendTextColumn(U("监控网址"), CUrlListModel::kUrl, wxDATAVIEW_CELL_INERT, 280);
    m_listUrls->AppendTextColumn(U("备注"), CUrlListModel::kNote, wxDATAVIEW_CELL_INERT, 120);
    m_listUrls->AppendTextColumn(U("状态"), CUrlListModel::kStatus, wxDATAVIEW_CELL_INERT, 100);
    // The byte count travels with the row but is not shown.
    m_listUrls->AppendTextColumn(U("字节数"), CUrlListModel::kSize, wxDATAVIEW_CELL_INERT, 0)
        ->SetHidden(true);
}

void CMonitorDlg::ReadSettings() {
    if (!g_pCore) return;
    MonitorSettings& s = m_settings;
    s.m_nInterval = g_pCore->Get(keys::kInterval);
    s.m_nFailAfter = std::max(1, g_pCore->Get(keys::kFailAfter));
    s.m_bMailOnFailure = g_pCore->Get(keys::kMailOnFailure);
    s.m_bNotify = g_pCore->Get(keys::kNotify);
    s.m_bAlertWav = g_pCore->Get(keys::kAlertWav);
    s.m_bAlertEmail = g_pCore->Get(keys::kAlertEmail);
    s.m_strEmailRcv = g_pCore->Get(keys::kEmailRcv);
    s.m_strSendUser = g_pCore->Get(keys::kSendUser);
    // The keyring is not asked at start-up (it may never answer): a mail or Options will.
    s.m_bSendPwdInKeyring = !g_pCore->KnownPassword(s.m_strSendPwd);
    s.m_strSendUser = NormaliseSendUser(s.m_strSendUser);
    s.m_strSmtpHost = g_pCore->Get(keys::kSmtpHost);
    s.m_nSmtpPort = g_pCore->Get(keys::kSmtpPort);
    s.m_strSmtpSecurity = g_pCore->Get(keys::kSmtpSecurity);
    s.m_strMailFrom = g_pCore->Get(keys::kMailFrom);
}

void CMonitorDlg::MovePasswordToKeyring() {
    // A password an older version left in the file goes to the keyring, on a worker: the
    // window never waits for a keyring, which may not answer at all.
    if (!g_pCore || !g_pCore->PasswordToMove(m_secretToMove.server, m_secretToMove.user,
                                             m_secretToMove.password))
        return;
    Workers().Spawn([target = m_pPostTarget, moving = m_secretToMove] {
        std::string why;
        if (KeyringStore(moving.server, moving.user, moving.password, why) == KeyringAnswer::kYes)
            target->Post(WM_SECRET_MOVED, 0, 1);
    });
}

void CMonitorDlg::StoreSettings() {
    const MonitorSettings& s = m_settings;
    // A password the keyring keeps, never read this session, is read now (within the
    // keyring's bound) so that the file says whether there is one; unread, it stays as it is.
    std::string password = s.m_strSendPwd;
    bool knownPassword = !s.m_bSendPwdInKeyring;
    if (!knownPassword && !s.m_strSendUser.empty()) {
        std::string why;
        switch (KeyringLookup(g_pCore->KeyringServer(), s.m_strSendUser, password, why)) {
            case KeyringAnswer::kYes:
            case KeyringAnswer::kNo:
            case KeyringAnswer::kNoKeyring:
                knownPassword = true;
                break;
            case KeyringAnswer::kNoAnswer:
                break;
        }
    }
    {
        CCore::SaveBatch batch(*g_pCore);
        g_pCore->Set(keys::kInterval, s.m_nInterval);
        g_pCore->Set(keys::kEmailRcv, s.m_strEmailRcv);
        g_pCore->Set(keys::kSendUser, s.m_strSendUser);
        if (knownPassword) g_pCore->Set(keys::kSendPwd, password);
        g_pCore->Set(keys::kAlertWav, s.m_bAlertWav);
        g_pCore->Set(keys::kAlertEmail, s.m_bAlertEmail);
        g_pCore->Set(keys::kFailAfter, s.m_nFailAfter);
        g_pCore->Set(keys::kMailOnFailure, s.m_bMailOnFailure);
        g_pCore->Set(keys::kNotify, s.m_bNotify);
        g_pCore->Set(keys::kSmtpHost, s.m_strSmtpHost);
        g_pCore->Set(keys::kSmtpPort, s.m_nSmtpPort);
        g_pCore->Set(keys::kSmtpSecurity, s.m_strSmtpSecurity);
        g_pCore->Set(keys::kMailFrom, s.m_strMailFrom);
    }
    if (!g_pCore->SaveProblem().empty())
        std::fprintf(stderr, "sentrel: settings not saved: %s\n", g_pCore->SaveProblem().c_str());
}

void CMonitorDlg::ApplySettings(const MonitorSettings& settings) {
    const bool wasWav = m_settings.m_bAlertWav;
    m_settings = settings;
    // Stored now as well as at exit, so that a folder that takes no file is found out
    // while the window can still say so.
    if (g_pCore) {
        StoreSettings();
        if (!g_pCore->SaveProblem().empty() && !m_bSettingsSaveToldUser) {
            m_bSettingsSaveToldUser = true;
            ShowNotice(this, "设置无法保存到 " + g_pCore->ConfigPath() + "（" +
                                 g_pCore->SaveProblem() + "）。\n本次的设置只在程序运行期间有效。");
        }
    }
    // Whoever turns sound alerts off expects the blinking and the sound to stop now.
    if (wasWav && !m_settings.m_bAlertWav && m_timerBlink.IsRunning()) {
        m_timerBlink.Stop();
        NotifyTrayIcon(kTrayModify, 1, U(g_strTrayTips[0]));
    }
}

void CMonitorDlg::OnOptions() {
    if (m_bInOptions) return;  // already open (the tray menu stays reachable)
    m_bInOptions = true;
    COptionsDlg dlg(nullptr);
    dlg.SetValues(m_settings);
    const int result = dlg.ShowModal();
    m_bInOptions = false;
    // Taken over now, stored at exit; running watchers keep their interval until the
    // next start, and the next mark reads the switches and the account afresh.
    if (result == wxID_OK) ApplySettings(dlg.Values());
}

void CMonitorDlg::BeginShutdown() {
    if (m_bShuttingDown) return;
    m_bShuttingDown = true;
    m_session.RunFlag()->Set("STOP");
    SetStatusText(U("执行安全退出..."));
    m_timerBlink.Stop();
    m_timerSave.Stop();  // the exit's own save follows
    m_timerNotify.Stop();
    NotifyTrayIcon(kTrayDelete, 0, wxEmptyString);
    m_pTray.reset();
    m_pStatusTray.reset();
    m_pNotifier.reset();
}

void CMonitorDlg::SaveState() {
    if (!g_pCore) return;
    StoreSettings();
    SaveUrlList();
}

void CMonitorDlg::AbortWorkers() {
    m_pExitFlag->Abort();
    m_pPostTarget->Close();
}

void CMonitorDlg::RequestQuit() {
    m_modals.CancelAll();
    if (m_fnQuit)
        m_fnQuit();
    else
        Hide();  // a window without a program around it (tests) can only go away
}

void CMonitorDlg::SetStatusText(const wxString& text) {
    m_stStatus->SetLabel(text);
}

wxString CMonitorDlg::GetStatusText() const {
    return m_stStatus->GetLabel();
}

void CMonitorDlg::ShowStartupProblems() {
    if (m_strStartupProblems.empty()) return;
    std::string text;
    text.swap(m_strStartupProblems);
    ShowNotice(this, text);
}

}  // namespace sentrel
