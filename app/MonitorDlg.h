#pragma once
#include <wx/bitmap.h>
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AlertMailThread.h"
#include "DesktopServices.h"
#include "LinkLabel.h"
#include "ModalDialogs.h"
#include "MonitorSettings.h"
#include "PostTarget.h"
#include "RunFlag.h"
#include "SkinButton.h"
#include "UrlListModel.h"
#include "UrlStore.h"
#include "WatchSession.h"

class wxMenu;
class wxThreadEvent;

namespace sentrel {

class CTrayIcon;
class CAlertSound;

/// Tip texts of the tray icon: the product title, and "update found".
extern const char* const g_strTrayTips[2];
/// The program directory (ends in '/') and the database connection string.
extern std::string g_strAppPath;
extern std::string g_strConnStr;

/// The main window: captionless, drawn from its background bitmap, with the URL list,
/// the Start/Stop and caption buttons, the footer link and the status line. It needs the
/// support object and the program paths (CMonitorApp::StartCore) before it is created.
///
/// Its code is split by concern: MonitorDlg.cpp (set-up, settings, status line, the
/// steps of the shutdown), MonitorDlgRun.cpp (start and stop), MonitorDlgMessages.cpp
/// (what workers post to the run's model), MonitorDlgRows.cpp (rows, marks, what the
/// model's transitions set off), MonitorDlgTray.cpp
/// (tray icon, menus, blink timer), MonitorDlgChrome.cpp (painting, dragging, caption
/// buttons), MonitorDlgStore.cpp (the list's files).
class CMonitorDlg : public wxDialog {
  public:
    enum TrayOp { kTrayAdd, kTrayModify, kTrayDelete };

    CMonitorDlg();
    ~CMonitorDlg() override;

    // ---- Lifetime (driven by CMonitorApp) ----
    /// First steps of the shutdown: "STOP", the exit text, blink timer and tray icon gone.
    void BeginShutdown();
    /// Stores the settings and the list: at exit, early when a quit signal comes (a
    /// nested loop could still hold the exit), and when the process ends abruptly (the
    /// display went away). Monitoring goes on; every later call stores what changed.
    void SaveState();
    /// Last step: requests still in flight give up; nothing is posted to the window after.
    void AbortWorkers();
    /// Ends the program's session (QUIT, "退出", a quit signal): open dialogs end as
    /// Cancel, a test mail under way is left behind; what follows is the app's.
    void RequestQuit();
    /// Modal dialogs open now (tests).
    int OpenDialogs() const { return m_modals.OpenCount(); }
    void SetQuitHandler(std::function<void()> handler) { m_fnQuit = std::move(handler); }

    void SetStatusText(const wxString& text);
    wxString GetStatusText() const;
    void NotifyTrayIcon(TrayOp op, int nIndex, const wxString& tip);

    /// Shows, once, what went wrong while reading the settings or the URL store.
    void ShowStartupProblems();
    bool HasStartupProblems() const { return !m_strStartupProblems.empty(); }

    // ---- Monitoring ----
    void OnStart();
    bool CanStartMonitoring();
    void StartMonitoring();
    void OnStop();
    /// Marks the row's page as changed (true) or clears its mark (false).
    void SetRowUpdated(int nItem, bool bUpdated);
    void MarkRowUpdated(int nItem) { SetRowUpdated(nItem, true); }
    /// One alert mail about the row: a change, a failure or a recovery.
    void StartAlertMail(RowId id, AlertMailRequest::Kind kind);

    // ---- List ----
    /// Appends a row with a new identity; returns its index.
    long AppendRow(const wxString& url, const wxString& note, const wxString& size,
                   const std::string& etag = std::string(),
                   const std::string& lastModified = std::string());
    int GetFirstSelectedRow() const;
    /// Selects exactly these rows.
    void SelectRows(const std::vector<int>& rows);
    /// Deletes every selected row; their watchers stop, and marks stay with their pages.
    void DeleteSelectedRows();
    void OnNewUrl();
    void OnEditUrl();
    void OnDeleteUrls() { DeleteSelectedRows(); }
    void OnClearUrls();
    void OnOpenUrl();
    /// Opens the row's page as 浏览网址 does: the mark is cleared, only web URLs go out.
    void OpenRowUrl(RowId id);
    /// The list's context menu: the nine entries over a row, the five beside the rows.
    static wxMenu* CreateListMenu(bool bOnRow);
    /// Opens the list's context menu for a click on a row (-1: beside the rows).
    void OpenListMenu(int nRow);

    // ---- Settings ----
    const MonitorSettings& Settings() const { return m_settings; }
    /// Takes over edited settings (Options ended with OK). Turning sound alerts off
    /// while the tray blinks stops the blinking.
    void ApplySettings(const MonitorSettings& settings);
    void OnOptions();

    // ---- Store ----
    void LoadUrlList();
    /// Rewrites the store from the list. At exit (`bFinal`) a failed save goes to a side
    /// file; a save made while running just tries again at the next change.
    void SaveUrlList(bool bFinal = true);
    /// The list changed: it is saved a short while later, whatever ends the program.
    void ScheduleSave();
    void OnImportUrls();
    void OnExportUrls();
    /// Where the list goes at exit (user.mdb, or a new file when user.mdb was unusable).
    const std::string& SaveTarget() const { return m_strSaveTarget; }

    // ---- Tray and chrome ----
    void OnPop();
    /// Off the screen where a tray can bring the window back; else down to the taskbar.
    void OnMin();
    void ShowFromTray();
    /// A tray that can bring the window back: a StatusNotifierItem, or an XEmbed host.
    bool HasTray() const;
    /// The StatusNotifierItem tray, when the desktop has one.
    CStatusTray* StatusTray() const { return m_pStatusTray.get(); }
    /// Replaces the desktop's notifier (tests record the notices).
    void SetNotifier(std::unique_ptr<CNotifier> notifier) { m_pNotifier = std::move(notifier); }
    /// One tick of the blink timer.
    void OnBlinkTimer();
    /// The tray menu ("设置", separator, "退出"), built afresh for each use.
    static wxMenu* CreateTrayMenu();

    /// Replaces the sound player (tests count plays through their own).
    void SetSoundPlayer(std::unique_ptr<CAlertSound> player);
    /// Replaces how popup menus are shown (tests look at them instead).
    using MenuPresenter = std::function<void(wxMenu& menu, const wxPoint& where)>;
    void SetMenuPresenterForTesting(MenuPresenter presenter) {
        m_fnShowMenu = std::move(presenter);
    }

    // ---- Queries (tests, and the parts of the program that only look) ----
    wxDataViewCtrl* UrlList() const { return m_listUrls; }
    const WatchSession& Session() const { return m_session; }
    int RowCount() const { return m_session.RowCount(); }
    wxString CellText(int nRow, int nColumn) const;
    wxColour RowColour(int nRow) const;
    CSkinButton* StartButton() const { return m_btnStart; }
    CSkinButton* StopButton() const { return m_btnStop; }
    CSkinButton* PopButton() const { return m_btnPop; }
    CSkinButton* MinButton() const { return m_btnMin; }
    CSkinButton* QuitButton() const { return m_btnQuit; }
    CLinkLabel* FooterLink() const { return m_linkFooter; }
    /// The marked rows as ",3,7,": a comma, then each row's index and a comma, in the
    /// order they were marked.
    std::string UpdatedRows() const;
    int TrayPhase() const { return m_nTrayPhase; }
    const std::string& WavPath() const { return m_strWavPath; }
    int UrlCount() const { return m_nUrlCount; }
    const RunFlagPtr& RunFlag() const { return m_session.RunFlag(); }
    int RunNumber() const { return m_session.RunNumber(); }
    /// Watchers of the current run that have not reported their end.
    int ActiveWatchers() const { return m_session.ActiveWatchers(); }
    /// The number under which the current run's watcher of this row posts (-1: none).
    int WatchOfRow(int nItem) const;
    const PostTargetPtr& MainTarget() const { return m_pPostTarget; }
    bool IsBlinking() const { return m_timerBlink.IsRunning(); }
    CTrayIcon* Tray() const { return m_pTray.get(); }
    /// Tray icon index and tip shown now (-1 and empty when there is no icon).
    int TrayIconIndex() const { return m_nTrayIconIndex; }
    const wxString& TrayTip() const { return m_strTrayTip; }

  private:
    void OnInitDialog();
    void ReadSettings();
    void StoreSettings();
    void MovePasswordToKeyring();
    void PlaceControls();
    void BindCommands();

    // Monitoring.
    void OnThreadMessage(wxThreadEvent& event);
    void OnMailResult(int nResult);
    /// What the run's model says happened: the list, the tray, the sound and the mails.
    void OnWatchEvent(const WatchEvent& event);
    /// The status line tells since when the selected row's page fails.
    void ShowFailingSince(int nRow);

    // Rows.
    void OnListContextMenu(wxDataViewEvent& event);
    /// The view follows the model's rows anew (after a load, an import, deletes).
    void ResetListView();
    RowId RowIdAt(int nItem) const;

    // Tray and chrome.
    void UpdateBlinking();
    /// The StatusNotifierItem asks for attention while a mark is pending and Stop is on.
    void UpdateAttention();
    /// Rows marked, failing or recovered within a short while make one notification.
    void QueueNotice(NoticeBatch::Kind kind, RowId id);
    void ShowNotices();
    void ShowMenu(wxMenu& menu, const wxPoint& where);
    void OnPaint(wxPaintEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnBodyLeftDown(wxMouseEvent& event);
    void OnBodyMotion(wxMouseEvent& event);
    void OnBodyLeftUp(wxMouseEvent& event);

    void ReportFileProblem(const wxString& text);
    std::string ChooseImportFile();
    std::string ChooseExportFile();

    wxBitmap m_bmpBackground;
    int m_nTrayPhase = 0;
    MonitorSettings m_settings;
    std::string m_strWavPath;
    int m_nUrlCount = 0;
    RunFlagPtr m_pExitFlag;  // parent of every run's flag: aborted at exit
    WatchSession m_session;  // the rows and the run: what the list shows
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
    PostTargetPtr m_pPostTarget;

    std::unique_ptr<CTrayIcon> m_pTray;
    int m_nTrayIconIndex = -1;
    wxString m_strTrayTip;
    wxTimer m_timerBlink;
    wxTimer m_timerSave;
    wxTimer m_timerNotify;
    NoticeBatch m_notices;
    std::unique_ptr<CStatusTray> m_pStatusTray;
    std::unique_ptr<CNotifier> m_pNotifier;
    std::unique_ptr<CAlertSound> m_pSound;
    MenuPresenter m_fnShowMenu;
    std::function<void()> m_fnQuit;

    CModalDialogs m_modals;  // what a quit must close first
    bool m_bShuttingDown = false;
    bool m_bSoundProblemShown = false;
    bool m_bInOptions = false;
    bool m_bDragging = false;
    wxPoint m_ptDragOffset;
    std::string m_strSaveTarget;
    std::string m_strRecoveryPath;  // where the list went when the store refused it
    bool m_bListSaveToldUser = false;
    bool m_bSettingsSaveToldUser = false;
    std::string m_strStartupProblems;
    struct {
        std::string server, user, password;
    } m_secretToMove;  // the file's password, on its way to the keyring
};

}  // namespace sentrel
