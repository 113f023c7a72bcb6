#pragma once
#include <wx/bitmap.h>
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "alerts/AlertPolicy.h"
#include "app/DesktopServices.h"
#include "app/ModalDialogs.h"
#include "app/UrlListModel.h"
#include "base/Settings.h"
#include "base/WorkerGroup.h"
#include "delivery/AlertMailThread.h"
#include "delivery/HookSender.h"
#include "delivery/MailDispatcher.h"
#include "model/WatchSession.h"
#include "probe/RunFlag.h"
#include "store/ListFile.h"
#include "store/WatchList.h"
#include "support/AlertSound.h"

class wxMenu;
class wxTaskBarIcon;
class wxThreadEvent;

namespace sentrel {

class CLinkLabel;
class CSkinButton;
class CTrayIcon;

/// Tip texts of the tray icon: the product title, and "update found".
extern const char* const g_strTrayTips[2];
/// The program directory (ends in '/') and the database connection string.
extern std::string g_strAppPath;
extern std::string g_strConnStr;

/// The main window: captionless, drawn from its background bitmap, with the URL list,
/// the Start/Stop and caption buttons, the footer link and the status line. It shows the
/// run's model (WatchSession) and signals what the alert policy decides; it needs the
/// support object and the program paths (CMonitorApp::StartCore) before it is created.
/// Its settings are its own fields (m_nInterval, m_bAlertWav, ...), from the settings table.
///
/// Its code is split by concern: MonitorDlg.cpp (set-up, settings, status line, the
/// steps of the shutdown), MonitorDlgRun.cpp (start and stop), MonitorDlgMessages.cpp
/// (what workers post), MonitorDlgRows.cpp (the list over the model, what the policy asks
/// of the window), MonitorDlgTray.cpp (tray icon, menus, blink timer), MonitorDlgChrome.cpp
/// (painting, dragging, caption buttons), MonitorDlgList.cpp (the list's commands),
/// MonitorDlgStore.cpp (the list's files).
/// The window's drawing made `width` x `height` (never smaller than drawn): its band,
/// corners and frame as drawn, the rest stretched.
wxImage StretchFace(const wxImage& face, int width, int height);

class CMonitorDlg : public wxDialog,
                    private Settings,
                    private AlertSignal,
                    private ListKeeper {
  public:
    /// `sound` plays alert.wav (the desktop's player when none is given).
    explicit CMonitorDlg(std::unique_ptr<CAlertSound> sound = nullptr);
    ~CMonitorDlg() override;

    // ---- Lifetime (driven by CMonitorApp) ----
    /// First steps of the shutdown: "STOP", the exit text, blink timer and tray icon gone.
    void BeginShutdown();
    /// Stores the settings and the list: at exit, early when a quit signal comes (a
    /// nested loop could still hold the exit), and when the process ends abruptly (the
    /// display went away). Monitoring goes on; every later call stores what changed.
    void SaveState();
    /// Last step: requests still in flight give up; the workers are joined within a bound.
    void AbortWorkers(std::chrono::milliseconds bound);
    /// Ends the program's session (QUIT, "退出", a quit signal): open dialogs end as
    /// Cancel, a test mail under way is left behind; what follows is the app's.
    void RequestQuit();
    void SetQuitHandler(std::function<void()> handler) { m_fnQuit = std::move(handler); }
    /// Shows, once, what went wrong while reading the settings or the URL store; false
    /// when nothing did.
    bool ShowStartupProblems();

    // ---- What the desktop reaches (tray, notifications, a second start) ----
    void ShowFromTray();
    void OnOptions();
    /// Opens the row's page as 浏览网址 does: the mark is cleared, only web URLs go out.
    void OpenRowUrl(RowId id);
    /// "查看变化": a window of what changed in the row's text; it acknowledges the mark.
    class CChangesDlg* ViewChanges(RowId id);

    /// The only writer of the status line.
    void SetStatusText(const wxString& text);

    // ---- The model, the policy and the settings the window shows ----
    WatchSession& Session() { return m_session; }
    AlertPolicy& Policy() { return m_policy; }
    const Settings& Values() const { return *this; }
    /// Takes over edited settings (Options ended with OK) and stores them. Turning sound
    /// alerts off while the tray blinks stops the blinking.
    void ApplySettings(const Settings& values);

    /// What the tray shows now (icon index -1 and no tip when there is no icon).
    struct TrayView {
        int nIcon = -1;
        wxString tip;
        int nPhase = 0;  ///< m_nTrayPhase
        bool bBlinking = false;
        wxTaskBarIcon* icon = nullptr;  ///< the XEmbed icon, where there is one
    };
    TrayView Tray() const;

    /// How popup menus are shown (tests look at them instead).
    using MenuPresenter = std::function<void(wxMenu& menu, const wxPoint& where)>;
    void SetMenuPresenterForTesting(MenuPresenter presenter) {
        m_fnShowMenu = std::move(presenter);
    }

  private:
    enum TrayOp { kTrayAdd, kTrayModify, kTrayDelete };
    friend class CTrayIcon;

    void OnInitDialog();
    void ReadSettings();
    void StoreSettings();
    void MovePasswordToKeyring();
    void PlaceControls();
    void BindCommands();

    // Monitoring.
    void OnStart();
    bool CanStartMonitoring();
    void StartMonitoring();
    void OnStop();
    void OnMailResult(const MailResult& result);
    /// What the run's model says happened, as the list and the tray show it.
    void OnWatchEvent(const WatchEvent& event);
    // What the alert policy asks of the window.
    void MarksPending(bool pending) override;
    void Save() override { SaveUrlList(false); }
    /// The policy's next batch or save, on a one-shot timer.
    void WakePolicyAt(std::chrono::steady_clock::time_point when);

    // Rows.
    void SetRowUpdated(RowId id, bool bUpdated);
    int GetFirstSelectedRow() const;
    void SelectRows(const std::vector<int>& rows);
    void DeleteSelectedRows();
    void OnNewUrl();
    void OnEditUrl();
    void OnClearUrls();
    void OnOpenUrl();
    void OnViewChanges();
    void OnListContextMenu(wxDataViewEvent& event);
    void OpenListMenu(int nRow);
    /// The view follows the model's rows anew (after a load, an import, deletes).
    void ResetListView();
    /// "," then each marked row's index and a comma, in the order marked: m_strUpdatedRows.
    void RefreshUpdatedRows();

    // Store.
    void LoadUrlList();
    /// Rewrites the store from the list. At exit (`bFinal`) a failed save goes to a side
    /// file; a save made while running just tries again at the next change.
    void SaveUrlList(bool bFinal = true);
    void OnImportUrls();
    void OnExportUrls();
    void ReportFileProblem(const wxString& text);
    std::string ChooseImportFile();
    std::string ChooseExportFile();

    // Tray and chrome.
    void StartDesktopServices();
    void NotifyTrayIcon(TrayOp op, int nIndex, const wxString& tip);
    void OnBlinkTimer();
    /// The StatusNotifierItem asks for attention while a mark is pending and Stop is on.
    void UpdateAttention();
    bool HasTray() const;
    void OnPop();
    /// Off the screen where a tray can bring the window back; else down to the taskbar.
    void OnMin();
    void ShowMenu(wxMenu& menu, const wxPoint& where);
    void OnPaint(wxPaintEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnBodyLeftDown(wxMouseEvent& event);
    /// Places what follows the window's size: the caption buttons, the list, the footer.
    void LayoutToSize();
    /// The face for the window's size, less what the list covers; the link's backdrop.
    void MakeFace(const wxSize& size, const wxRect& list, const wxRect& link);
    /// The size and column widths as the user left them (sentrel.ini), and back.
    void RestoreLayout();
    void KeepLayout();
    /// True over the resize grip.
    bool OnGrip(const wxPoint& client) const;
    void OnBodyMotion(wxMouseEvent& event);
    void OnBodyLeftUp(wxMouseEvent& event);

    int m_nTrayPhase = 0;
    std::string m_strUpdatedRows = ",";
    std::string m_strWavPath;
    int m_nUrlCount = 0;
    RunFlagPtr m_pExitFlag;  // parent of every run's flag: aborted at exit
    WatchSession m_session;  // the rows and the run: what the list shows
    AlertPolicy m_policy;    // what the run's events lead to
    wxObjectDataPtr<CUrlListModel> m_model;
    bool m_bBulk = false;  // loading or importing: the view follows once at the end

    wxDataViewCtrl* m_listUrls = nullptr;
    CLinkLabel* m_linkFooter = nullptr;
    CSkinButton* m_btnQuit = nullptr;
    CSkinButton* m_btnMin = nullptr;
    CSkinButton* m_btnPop = nullptr;
    CSkinButton* m_btnStop = nullptr;
    CSkinButton* m_btnStart = nullptr;
    wxStaticText* m_stStatus = nullptr;
    PostTargetPtr<std::function<void()>> m_pModelTasks;  // the model's tasks, run on this thread
    MailTarget m_pMailTarget;             // alert mails report here
    PostTargetPtr<bool> m_pSecretTarget;  // the keyring took the file's password
    PostTargetPtr<std::string> m_pToldTarget;  // what a worker tells in the status line
    WorkerGroup m_workers;                // the keyring's move
    std::unique_ptr<MailDispatcher> m_pMails;  // alert mails, each on a worker

    std::unique_ptr<CTrayIcon> m_pTray;
    int m_nTrayIconIndex = -1;
    wxString m_strTrayTip;
    wxTimer m_timerBlink;
    wxTimer m_timerPolicy;
    std::unique_ptr<CStatusTray> m_pStatusTray;
    std::unique_ptr<CNotifier> m_pNotifier;
    std::unique_ptr<CAlertSound> m_pSound;
    std::unique_ptr<HookSender> m_pHooks;  // webhooks and ntfy, each on a thread of its own
    std::unique_ptr<ListFile> m_pList;  // where the list is loaded from and saved to
    MenuPresenter m_fnShowMenu;
    std::function<void()> m_fnQuit;

    CModalDialogs m_modals;  // what a quit must close first
    bool m_bShuttingDown = false;
    bool m_bSoundProblemShown = false;
    bool m_bInOptions = false;
    bool m_bDragging = false;
    wxPoint m_ptDragOffset;
    bool m_bResizing = false;  // dragging the grip in the bottom-right corner
    wxSize m_sizeAtGrip;
    wxPoint m_ptGrip;
    // The background stretched to the window's size, less what the list covers (most of
    // it): where each piece goes, and its drawing.
    std::vector<std::pair<wxPoint, wxBitmap>> m_face;
    wxSize m_sizeFace;  // the window's size the face was made for
    bool m_bListSaveToldUser = false;
    bool m_bSettingsSaveToldUser = false;
    std::string m_strStartupProblems;
    struct {
        std::string server, user, password;
    } m_secretToMove;  // the file's password, on its way to the keyring
};

}  // namespace sentrel
