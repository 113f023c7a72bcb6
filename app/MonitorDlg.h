#pragma once
#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>

#include <memory>
#include <string>

#include "LinkLabel.h"
#include "PostTarget.h"
#include "RunFlag.h"
#include "SkinButton.h"
#include "UrlStore.h"

namespace sentrel {

class CTrayIcon;

/// Tip texts of the tray icon: the product title, and "update found".
extern const char* const g_strTrayTips[2];
/// The program directory (ends in '/') and the database connection string.
extern std::string g_strAppPath;
extern std::string g_strConnStr;

/// The main window: captionless, drawn from its background bitmap, with the URL list,
/// the Start/Stop and caption buttons, the footer link and the status line.
class CMonitorDlg : public wxDialog {
  public:
    enum TrayOp { kTrayAdd, kTrayModify, kTrayDelete };

    CMonitorDlg();
    ~CMonitorDlg() override;

    /// The orderly shutdown: stop, store settings and list, let workers end. Runs once.
    void Shutdown();
    /// Stores the settings and the list; runs once, also when the process ends abruptly
    /// (the display went away) and only this much can still be done.
    void SaveState();

    void SetStatusText(const wxString& text);
    wxString GetStatusText() const;
    void NotifyTrayIcon(TrayOp op, int nIndex, const wxString& tip);

    void LoadUrlList();
    void SaveUrlList();
    void ExecuteSql(const std::string& sql);
    void OnImportUrls();
    void OnExportUrls();

    /// Shows, once, what went wrong while reading the settings or the URL store.
    void ShowStartupProblems();
    bool HasStartupProblems() const { return !m_strStartupProblems.empty(); }

    /// Where the list goes at exit (user.mdb, or a new file when user.mdb was unusable).
    const std::string& SaveTarget() const { return m_strSaveTarget; }

    // Fields other parts of the program read and write (UI thread only).
    wxBitmap m_bmpBackground;
    int m_nTrayPhase = 0;
    std::string m_strUpdatedRows = ",";
    int m_nInterval = 0;
    bool m_bAlertWav = false;
    bool m_bAlertEmail = false;
    std::string m_strWavPath;
    std::string m_strEmailRcv;
    std::string m_strSendUser;
    std::string m_strSendPwd;
    int m_nUrlCount = 0;
    RunFlagPtr m_szRunFlag;
    wxListCtrl* m_listUrls = nullptr;
    CLinkLabel* m_linkFooter = nullptr;
    CSkinButton* m_btnQuit = nullptr;
    CSkinButton* m_btnMin = nullptr;
    CSkinButton* m_btnPop = nullptr;
    CSkinButton* m_btnStop = nullptr;
    CSkinButton* m_btnStart = nullptr;
    wxStaticText* m_stStatus = nullptr;
    PostTargetPtr m_pPostTarget;

  private:
    void OnInitDialog();
    void ReadSettings();
    void StoreSettings();
    void PlaceControls();

    // Window chrome.
    void OnPaint(wxPaintEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnBodyLeftDown(wxMouseEvent& event);
    void OnBodyMotion(wxMouseEvent& event);
    void OnBodyLeftUp(wxMouseEvent& event);
    void OnQuit(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);

    void ReportFileProblem(const wxString& text);
    std::string ChooseImportFile();
    std::string ChooseExportFile();

    std::unique_ptr<CTrayIcon> m_pTray;
    bool m_bShutdownDone = false;
    bool m_bStateSaved = false;
    bool m_bDragging = false;
    wxPoint m_ptDragOffset;
    std::string m_strSaveTarget;
    std::string m_strStartupProblems;
};

}  // namespace sentrel
