#include "app/MonitorDlg.h"

#include <algorithm>
#include <cstdio>

#include "app/TrayIcon.h"
#include "base/ThreadMessages.h"
#include "controls/LinkLabel.h"
#include "controls/Notice.h"
#include "controls/OpenUrl.h"
#include "controls/SkinButton.h"
#include "controls/SkinResources.h"
#include "controls/WxPost.h"
#include "controls/WxText.h"
#include "delivery/MailProvider.h"
#include "platform/Keyring.h"
#include "platform/PageAccess.h"
#include "platform/TextRules.h"
#include "probe/Renderer.h"
#include "res/resource.h"
#include "settings/OptionsDlg.h"
#include "support/AlertSound.h"
#include "support/CCore.h"
#include "support/Product.h"

namespace sentrel {

const char* const g_strTrayTips[2] = {"HalvexSentrel", N_("发现网页更新！")};
std::string g_strAppPath;
std::string g_strConnStr;

namespace {

const char* const kFooterText = N_("访问官方主页");

}  // namespace

namespace {
// What the window does differently from sentrel-watch: a run of at most 50 rows, marks kept
// until seen, an interval out of bounds refused rather than clamped.
AlertPolicy::Options WindowRules() {
    AlertPolicy::Options rules;
    rules.nRowLimit = 50;
    return rules;
}
}  // namespace

CMonitorDlg::CMonitorDlg(std::unique_ptr<CAlertSound> sound)
    : wxDialog(nullptr, IDD_MAIN_DIALOG, wxEmptyString, wxDefaultPosition, wxDefaultSize,
               wxBORDER_NONE | wxDIALOG_NO_PARENT),
      m_pExitFlag(std::make_shared<CRunFlag>()),
      m_session(m_pExitFlag),
      m_policy(m_session, *this, WindowRules()),
      m_timerBlink(this, IDT_BLINK),
      m_timerPolicy(this, IDT_POLICY),
      m_pSound(sound ? std::move(sound) : CAlertSound::CreateSystem()) {
    SetFont(wxFont(wxFontInfo(9)));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // The model's tasks (a watcher's result, handed to it) run on this thread.
    m_pModelTasks = MakeWxPostTarget<std::function<void()>>(this, WM_MODEL_TASK);
    m_session.SetOwnerQueue([tasks = m_pModelTasks](std::function<void()> task) { tasks->Post(std::move(task)); });
    m_pMailTarget = MakeWxPostTarget<MailResult>(this, WM_MAIL_RESULT);
    m_pSecretTarget = MakeWxPostTarget<bool>(this, WM_SECRET_MOVED);

    m_btnStart = new CSkinButton(this, IDC_START);
    m_btnStop = new CSkinButton(this, IDC_STOP);
    m_btnPop = new CSkinButton(this, IDC_POP);
    m_btnMin = new CSkinButton(this, IDC_MIN);
    m_btnQuit = new CSkinButton(this, IDC_QUIT);
    m_linkFooter =
        new CLinkLabel(this, IDC_FOOTER_LINK, TrW(kFooterText), wxDefaultPosition, wxDefaultSize);
    m_listUrls =
        new wxDataViewCtrl(this, IDC_URL_LIST, wxDefaultPosition, wxDefaultSize,
                           wxDV_MULTIPLE | wxDV_HORIZ_RULES | wxDV_VERT_RULES | wxBORDER_SIMPLE);
    m_model = new CUrlListModel(m_session);  // the list takes its own reference
    m_listUrls->AssociateModel(m_model.get());
    m_session.Subscribe([this](const WatchEvent& e) { OnWatchEvent(e); });
    m_pMails = std::make_unique<MailDispatcher>(static_cast<const Settings&>(*this), m_pMailTarget,
                                                [this] { ShowCannotStartThread(this); });
    m_policy.SetSignal(this);
    m_policy.SetMailer(m_pMails.get());
    m_policy.SetListKeeper(this);
    // A hook's outage, and its end, in the status line (told from the hook's thread); so is
    // a text row's text that could not be kept.
    m_pToldTarget = MakeWxPostTarget<std::string>(this, WM_STATUS_TOLD);
    m_pHooks = std::make_unique<HookSender>(
        [target = m_pToldTarget](const std::string& text) { target->Post(text); });
    m_policy.SetHooks(m_pHooks.get());
    m_policy.SetWakeUp([this](std::chrono::steady_clock::time_point when) { WakePolicyAt(when); });
    m_stStatus = new wxStaticText(this, IDC_STATUS, TrW("就绪"), wxPoint(7, 297), wxSize(150, 17),
                                  wxST_NO_AUTORESIZE);

    BindCommands();
    OnInitDialog();
}

CMonitorDlg::~CMonitorDlg() {
    m_timerBlink.Stop();
    m_timerPolicy.Stop();
    m_policy.SetNotifier(nullptr);
    m_policy.SetHooks(nullptr);
    m_pToldTarget->Close();
    m_pHooks.reset();  // no hook's thread tells this window anything after this
    m_pNotifier.reset();
    m_pStatusTray.reset();
    m_pModelTasks->Close();
    m_pMailTarget->Close();
    m_pSecretTarget->Close();
    m_pTray.reset();
}

void CMonitorDlg::BindCommands() {
    Bind(wxEVT_PAINT, &CMonitorDlg::OnPaint, this);
    Bind(wxEVT_CHAR_HOOK, &CMonitorDlg::OnCharHook, this);
    Bind(wxEVT_LEFT_DOWN, &CMonitorDlg::OnBodyLeftDown, this);
    Bind(wxEVT_MOTION, &CMonitorDlg::OnBodyMotion, this);
    Bind(wxEVT_LEFT_UP, &CMonitorDlg::OnBodyLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_bDragging = false; });
    Bind(
        wxEVT_THREAD, [](wxThreadEvent& e) { e.GetPayload<std::function<void()>>()(); }, WM_MODEL_TASK);
    Bind(
        wxEVT_THREAD, [this](wxThreadEvent& e) { SetStatusText(U(e.GetPayload<std::string>())); },
        WM_STATUS_TOLD);
    Bind(
        wxEVT_THREAD, [this](wxThreadEvent& e) { OnMailResult(e.GetPayload<MailResult>()); },
        WM_MAIL_RESULT);
    Bind(
        wxEVT_THREAD,
        [this](wxThreadEvent&) {
            if (g_pCore)
                g_pCore->PasswordMoved(m_secretToMove.server, m_secretToMove.user,
                                       m_secretToMove.password);
        },
        WM_SECRET_MOVED);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { OnBlinkTimer(); }, IDT_BLINK);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { m_policy.Poll(); }, IDT_POLICY);

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
    command(ID_DELETE_URLS, &CMonitorDlg::DeleteSelectedRows);
    command(ID_CLEAR_URLS, &CMonitorDlg::OnClearUrls);
    command(ID_OPEN_URL, &CMonitorDlg::OnOpenUrl);
    command(ID_VIEW_CHANGES, &CMonitorDlg::OnViewChanges);
    m_listUrls->Bind(wxEVT_DATAVIEW_ITEM_CONTEXT_MENU, &CMonitorDlg::OnListContextMenu, this);
    m_listUrls->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) {
        // The status line tells since when the selected row's page fails.
        const int row = GetFirstSelectedRow();
        const std::string since = row < 0 ? "" : m_policy.FailingSince(m_session.Row(row));
        if (!since.empty()) SetStatusText(U(since));
    });

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

    wxSize bmpSize = BitmapResourceSize(IDB_BACKGROUND);
    if (bmpSize.x <= 0 || bmpSize.y <= 0) bmpSize = wxSize(530, 319);
    // It opens at its drawing's size the first time; it may be made larger, never smaller.
    SetClientSize(bmpSize);
    SetMinClientSize(bmpSize);

    PlaceControls();
    SetTitle("Sentrel");

    m_btnStart->SetActive(true);
    m_btnStop->SetActive(false);

    m_strWavPath = g_pCore ? g_pCore->Paths().wavPath : g_strAppPath + "alert.wav";
    ReadSettings();
    RestoreLayout();
    MovePasswordToKeyring();
    m_nTrayPhase = 0;

    // The tray and the notifications come once the window shows: docking an icon costs a
    // start several round trips to the display and the bus. Queued ahead of anything a
    // watcher posts, so that no mark or notice comes before them.
    CallAfter([this] { StartDesktopServices(); });

    LoadUrlList();

    if (g_pCore && !g_pCore->Paths().problem.empty())
        m_strStartupProblems +=
            Fill(Tr("无法创建文件夹 {0}\n本次的设置和网址列表将无法保存。"), {g_pCore->Paths().problem}) +
            "\n";
    if (!LanguageProblem().empty())
        m_strStartupProblems += Fill(Tr("语言文件无法使用：{0}"), {LanguageProblem()}) + "\n";
    if (const std::string proxy = ProgramProxyProblem(Values().m_strProxy); !proxy.empty())
        m_strStartupProblems += proxy + "\n";
    if (g_pCore && !g_pCore->ConfigProblem().empty())
        m_strStartupProblems =
            Fill(Tr("设置文件 {0} 无法使用（{1}），本次使用默认设置。\n原文件将另存为 sentrel.ini.bad。"),
                 {g_pCore->ConfigPath(), g_pCore->ConfigProblem()}) +
            "\n" + m_strStartupProblems;
}

void CMonitorDlg::StartDesktopServices() {
    // A StatusNotifierItem where the desktop has a watcher for one; else the XEmbed icon,
    // which docks once a tray host is there.
    m_pStatusTray = CreateStatusTray(this);
    if (!m_pStatusTray) {
        m_pTray = std::make_unique<CTrayIcon>(this);
        NotifyTrayIcon(kTrayAdd, 1, U(g_strTrayTips[0]));
    }
    m_pNotifier = CreateNotifier(this, m_pTray.get());
    m_policy.SetNotifier(m_pNotifier.get());
    UpdateAttention();
}

void CMonitorDlg::PlaceControls() {
    m_btnStart->SetPosition(wxPoint(20, 30));
    m_btnStart->SetSkin(IDB_START_NORMAL, IDB_START_ACTIVE, IDB_START_HOVER);
    m_btnStop->SetPosition(wxPoint(90, 30));
    m_btnStop->SetSkin(IDB_STOP_NORMAL, IDB_STOP_ACTIVE, IDB_STOP_HOVER);

    m_btnPop->SetSkin(IDB_POP_NORMAL, IDB_POP_ACTIVE, IDB_POP_ACTIVE);
    m_btnMin->SetSkin(IDB_MIN_NORMAL, IDB_MIN_ACTIVE, IDB_MIN_ACTIVE);
    m_btnQuit->SetSkin(IDB_QUIT_NORMAL, IDB_QUIT_ACTIVE, IDB_QUIT_ACTIVE);
    const std::string homepage = Homepage(g_pCore ? g_pCore->Paths().guidePath : "");
    SetProgramPage(homepage);
    m_linkFooter->SetUrl(U(homepage));
    LayoutToSize();

    m_listUrls->AppendTextColumn(TrW("监控网址"), CUrlListModel::kUrl, wxDATAVIEW_CELL_INERT, 280);
    m_listUrls->AppendTextColumn(TrW("备注"), CUrlListModel::kNote, wxDATAVIEW_CELL_INERT, 120);
    m_listUrls->AppendTextColumn(TrW("状态"), CUrlListModel::kStatus, wxDATAVIEW_CELL_INERT, 100);
    // The byte count travels with the row but is not shown.
    m_listUrls->AppendTextColumn(TrW("字节数"), CUrlListModel::kSize, wxDATAVIEW_CELL_INERT, 0)
        ->SetHidden(true);
}

void CMonitorDlg::ReadSettings() {
    if (!g_pCore) return;
    // The keyring is not asked at start-up (it may never answer): a mail or Options will.
    static_cast<Settings&>(*this) = g_pCore->Read();
    m_strSendUser = NormaliseSendUser(m_strSendUser);
    Renderer::Shared().SetBrowserSetting(m_strBrowser);
}

void CMonitorDlg::MovePasswordToKeyring() {
    // A password an older version left in the file goes to the keyring, on a worker: the
    // window never waits for a keyring, which may not answer at all.
    if (!g_pCore || !g_pCore->PasswordToMove(m_secretToMove.server, m_secretToMove.user,
                                             m_secretToMove.password))
        return;
    m_workers.Spawn([target = m_pSecretTarget, moving = m_secretToMove] {
        std::string why;
        if (KeyringStore(moving.server, moving.user, moving.password, why) == KeyringAnswer::kYes)
            target->Post(true);
    });
}

void CMonitorDlg::StoreSettings() {
    KeepLayout();
    Settings values = Values();
    // A password the keyring keeps, never read this session, is read now (within the
    // keyring's bound) so that the file says whether there is one; unread, it stays as it is.
    if (values.m_bSendPwdInKeyring && !values.m_strSendUser.empty()) {
        std::string why;
        if (KeyringLookup(g_pCore->KeyringServer(), values.m_strSendUser, values.m_strSendPwd,
                          why) != KeyringAnswer::kNoAnswer)
            values.m_bSendPwdInKeyring = false;
    }
    g_pCore->Store(values);
    if (!g_pCore->SaveProblem().empty())
        std::fprintf(stderr, "sentrel: settings not saved: %s\n", g_pCore->SaveProblem().c_str());
}

void CMonitorDlg::ApplySettings(const Settings& values) {
    const bool wasWav = m_bAlertWav;
    static_cast<Settings&>(*this) = values;
    Renderer::Shared().SetBrowserSetting(m_strBrowser);  // the next browser started
    // Stored now as well as at exit, so that a folder that takes no file is found out
    // while the window can still say so.
    if (g_pCore) {
        StoreSettings();
        if (!g_pCore->SaveProblem().empty() && !m_bSettingsSaveToldUser) {
            m_bSettingsSaveToldUser = true;
            ShowNotice(this, Fill(Tr("设置无法保存到 {0}（{1}）。\n本次的设置只在程序运行期间有效。"),
                                  {g_pCore->ConfigPath(), g_pCore->SaveProblem()}));
        }
    }
    // Whoever turns sound alerts off expects the blinking and the sound to stop now.
    if (wasWav && !m_bAlertWav && m_timerBlink.IsRunning()) {
        m_timerBlink.Stop();
        NotifyTrayIcon(kTrayModify, 1, U(g_strTrayTips[0]));
    }
}

void CMonitorDlg::OnOptions() {
    if (m_bInOptions) return;  // already open (the tray menu stays reachable)
    m_bInOptions = true;
    COptionsDlg dlg(nullptr);
    dlg.SetValues(Values());
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
    SetStatusText(TrW("执行安全退出..."));
    m_timerBlink.Stop();
    m_timerPolicy.Stop();  // the exit's own save follows
    NotifyTrayIcon(kTrayDelete, 0, wxEmptyString);
    m_pTray.reset();
    m_pStatusTray.reset();
    m_policy.SetNotifier(nullptr);
    m_pNotifier.reset();
}

void CMonitorDlg::SaveState() {
    if (!g_pCore) return;
    StoreSettings();
    SaveUrlList();
}

void CMonitorDlg::AbortWorkers(std::chrono::milliseconds bound) {
    m_pExitFlag->Abort();
    m_pModelTasks->Close();
    m_pMailTarget->Close();
    m_pSecretTarget->Close();
    // Requests in flight give up at once; a mail server may hold its mail a while longer.
    const auto end = std::chrono::steady_clock::now() + bound;
    m_session.JoinWatchers(bound);
    Renderer::Shared().Shutdown();  // a browser that rendered pages ends with the program
    auto left = [end] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          end - std::chrono::steady_clock::now()));
    };
    m_pMails->Close(left());
    m_workers.JoinAll(left());
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

bool CMonitorDlg::ShowStartupProblems() {
    if (m_strStartupProblems.empty()) return false;
    std::string text;
    text.swap(m_strStartupProblems);
    ShowNotice(this, text);
    return true;
}

CMonitorDlg::TrayView CMonitorDlg::Tray() const {
    return {m_nTrayIconIndex, m_strTrayTip, m_nTrayPhase, m_timerBlink.IsRunning(), m_pTray.get()};
}

}  // namespace sentrel
