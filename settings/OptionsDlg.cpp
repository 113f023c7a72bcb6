#include "OptionsDlg.h"

#include <wx/button.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>
#include <wx/valtext.h>

#include "CCore.h"
#include "DialogUnits.h"
#include "MailProvider.h"
#include "Notice.h"
#include "Product.h"
#include "ReminderMail.h"
#include "WatchThread.h"
#include "WorkerGroup.h"
#include "WxPost.h"
#include "WxText.h"
#include "resource.h"

namespace sentrel {

namespace {

constexpr int IDC_INTERVAL = 1009;
constexpr int IDC_ALERT_WAV = 1010;
constexpr int IDC_EMAIL_RCV = 1012;
constexpr int IDC_ALERT_EMAIL = 1013;
constexpr int IDC_SEND_USER = 1014;
constexpr int IDC_SEND_PWD = 1015;
constexpr int IDC_ACCOUNT_GROUP = 1018;
constexpr int IDC_TEST_MAIL = 1019;
constexpr int IDC_MAIL_ON_FAILURE = 1020;
constexpr int IDC_NOTIFY = 1021;
constexpr unsigned kTestMailDone = 1;

}  // namespace

COptionsDlg::COptionsDlg(wxWindow* parent)
    : wxDialog(parent, IDD_OPTIONS, U("选项"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(wxFont(wxFontInfo(9)));
    // Laid out in dialog units, converted with this dialog's font, as its template says.
    auto at = [this](int x, int y, int w, int h) { return DialogRect(this, x, y, w, h); };
    auto label = [&](const wxString& text, const wxRect& r, int id = wxID_ANY) {
        (new wxStaticText(this, id, text))->SetSize(r);
    };
    SetClientSize(ConvertDialogToPixels(wxSize(324, 239)));

    label(U("监控间隔："), at(23, 16, 41, 8));
    m_editInterval = new wxTextCtrl(this, IDC_INTERVAL, wxEmptyString, wxDefaultPosition,
                                    wxDefaultSize, wxTE_CENTRE,
                                    wxTextValidator(wxFILTER_DIGITS));  // digits only
    m_editInterval->SetSize(at(72, 13, 40, 14));
    label(U("（秒）"), at(118, 15, 25, 8));
    m_chkAlertWav = new wxCheckBox(this, IDC_ALERT_WAV, U("声音提醒"));
    m_chkAlertWav->SetSize(at(23, 38, 48, 10));
    m_chkNotify = new wxCheckBox(this, IDC_NOTIFY, U("桌面通知"));
    m_chkNotify->SetSize(at(80, 38, 60, 10));
    m_chkAlertEmail = new wxCheckBox(this, IDC_ALERT_EMAIL, U("邮件提醒"));
    m_chkAlertEmail->SetSize(at(23, 58, 48, 10));
    label(U("收件人："), at(34, 73, 33, 8));
    m_editEmailRcv = new wxTextCtrl(this, IDC_EMAIL_RCV);
    m_editEmailRcv->SetSize(at(72, 71, 221, 14));
    (new wxStaticBox(this, IDC_ACCOUNT_GROUP, U("邮件发送账户")))->SetSize(at(34, 93, 282, 99));
    const std::string domain = std::string(g_szMailSuffix).substr(1);
    label(U("本版本只支持 " + domain + " 邮箱，建议新申请一个专用邮箱。"), at(79, 113, 205, 8));
    label(U("用户名："), at(79, 129, 33, 8));
    m_editSendUser = new wxTextCtrl(this, IDC_SEND_USER);
    m_editSendUser->SetSize(at(121, 126, 172, 14));
    label(U("密码："), at(87, 147, 25, 8));
    m_editSendPwd = new wxTextCtrl(this, IDC_SEND_PWD, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxTE_PASSWORD);
    m_editSendPwd->SetSize(at(121, 144, 172, 14));
    m_btnTestMail = new wxButton(this, IDC_TEST_MAIL, U("测试邮件发送"));
    m_btnTestMail->SetSize(at(121, 166, 88, 14));
    m_chkMailOnFailure = new wxCheckBox(this, IDC_MAIL_ON_FAILURE, U("访问失败或恢复时也发送邮件"));
    m_chkMailOnFailure->SetSize(at(34, 199, 160, 10));
    auto* ok = new wxButton(this, wxID_OK, U("确定"));
    ok->SetSize(at(210, 218, 50, 14));
    ok->SetDefault();
    (new wxButton(this, wxID_CANCEL, U("取消")))->SetSize(at(267, 218, 50, 14));

    Bind(
        wxEVT_CHECKBOX, [this](wxCommandEvent&) { OnCheckAlertEmail(); }, IDC_ALERT_EMAIL);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnTestMail(); }, IDC_TEST_MAIL);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); }, wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (m_bTesting && e.CanVeto())
            e.Veto();
        else
            OnCancel();
    });
    Bind(wxEVT_THREAD, &COptionsDlg::OnTestMailDone, this);
    m_pResults = MakeWxPostTarget(this);
}

COptionsDlg::~COptionsDlg() {
    m_pResults->Close();  // a test mail still under way reports to nobody
    if (m_bTesting) wxEndBusyCursor();
}

void COptionsDlg::SetValues(const MonitorSettings& v) {
    m_nInterval = v.m_nInterval;
    m_bAlertWav = v.m_bAlertWav;
    m_bAlertEmail = v.m_bAlertEmail;
    m_strEmailRcv = v.m_strEmailRcv;
    m_strSendUser = v.m_strSendUser;
    m_strSendPwd = v.m_strSendPwd;
    m_bMailOnFailure = v.m_bMailOnFailure;
    m_bNotify = v.m_bNotify;
    m_nFailAfter = v.m_nFailAfter;
}

MonitorSettings COptionsDlg::Values() const {
    MonitorSettings v;
    v.m_nInterval = m_nInterval;
    v.m_bAlertWav = m_bAlertWav;
    v.m_bAlertEmail = m_bAlertEmail;
    v.m_strEmailRcv = m_strEmailRcv;
    v.m_strSendUser = m_strSendUser;
    v.m_strSendPwd = m_strSendPwd;
    v.m_bMailOnFailure = m_bMailOnFailure;
    v.m_bNotify = m_bNotify;
    v.m_nFailAfter = m_nFailAfter;
    return v;
}

int COptionsDlg::ShowModal() {
    OnInitDialog();
    CentreOnScreen();
    return wxDialog::ShowModal();
}

void COptionsDlg::OnInitDialog() {
    m_editInterval->ChangeValue(wxString::Format("%d", m_nInterval));
    m_chkAlertWav->SetValue(m_bAlertWav);
    m_chkAlertEmail->SetValue(m_bAlertEmail);
    m_editEmailRcv->ChangeValue(U(m_strEmailRcv));
    m_editSendUser->ChangeValue(U(m_strSendUser));
    m_editSendPwd->ChangeValue(U(m_strSendPwd));
    m_chkMailOnFailure->SetValue(m_bMailOnFailure);
    m_chkNotify->SetValue(m_bNotify);
    EnableMailControls(m_bAlertEmail);
}

void COptionsDlg::EnableMailControls(bool bEnable) {
    m_editEmailRcv->Enable(bEnable);
    m_editSendUser->Enable(bEnable);
    m_editSendPwd->Enable(bEnable);
    m_chkMailOnFailure->Enable(bEnable);
    m_btnTestMail->Enable(bEnable && !m_bTesting);
}

void COptionsDlg::OnCheckAlertEmail() {
    m_bAlertEmail = m_chkAlertEmail->GetValue();
    EnableMailControls(m_bAlertEmail);
}

void COptionsDlg::Warn(const char* text, wxWindow* focus) {
    if (focus) focus->SetFocus();
    ShowNotice(this, text);
    if (focus) focus->SetFocus();
}

bool COptionsDlg::CheckMailFields() {
    if (m_strEmailRcv.empty()) {
        Warn("接收邮箱不能为空！", m_editEmailRcv);
        return false;
    }
    if (m_strSendUser.empty()) {
        Warn("发送账户用户名不能为空！", m_editSendUser);
        return false;
    }
    m_strSendUser = NormaliseSendUser(m_strSendUser);
    if (m_strSendPwd.empty()) {
        Warn("发送账号密码不能为空！", m_editSendPwd);
        return false;
    }
    return true;
}

void COptionsDlg::OnOK() {
    if (m_bTesting) return;  // the test mail's result is still to come
    const wxString interval = m_editInterval->GetValue();
    if (interval.empty()) {
        Warn("监控间隔不能为空！", m_editInterval);
        return;
    }
    // A pasted number beyond 32 bits is taken as the largest, not wrapped to a negative.
    m_nInterval = AtoiClamped(interval.utf8_str());
    if (m_nInterval < 1) {
        Warn("监控间隔不能小于1秒！", m_editInterval);
        return;
    }
    m_bAlertWav = m_chkAlertWav->GetValue();
    m_bAlertEmail = m_chkAlertEmail->GetValue();
    m_strEmailRcv = S(m_editEmailRcv->GetValue());
    m_strSendUser = S(m_editSendUser->GetValue());
    m_strSendPwd = S(m_editSendPwd->GetValue());
    m_bMailOnFailure = m_chkMailOnFailure->GetValue();
    m_bNotify = m_chkNotify->GetValue();
    if (m_bAlertEmail && !CheckMailFields()) return;
    SetReturnCode(wxID_OK);  // also when shown without a modal loop
    EndDialog(wxID_OK);
}

void COptionsDlg::OnCancel() {
    if (m_bTesting) return;
    SetReturnCode(wxID_CANCEL);
    EndDialog(wxID_CANCEL);
}

void COptionsDlg::OnTestMail() {
    if (m_bTesting) return;
    m_strEmailRcv = S(m_editEmailRcv->GetValue());
    m_strSendUser = S(m_editSendUser->GetValue());
    m_strSendPwd = S(m_editSendPwd->GetValue());
    if (!CheckMailFields()) return;
    // The send runs on a worker so that a slow or silent server never freezes the window;
    // the dialog stays modal, with the button off and a busy cursor until the result.
    m_bTesting = true;
    m_btnTestMail->Disable();
    wxBeginBusyCursor();
    PostTargetPtr results = m_pResults;
    const std::string body =
        TestMailBody(Homepage(g_pCore ? g_pCore->Paths().guidePath : ""), kProductLine);
    if (!Workers().Spawn(
            [results, rcv = m_strEmailRcv, user = m_strSendUser, pwd = m_strSendPwd, body] {
                results->Post(kTestMailDone, 0,
                              SendReminderMail(rcv, user, pwd, TestMailSubject(), body));
            })) {
        m_bTesting = false;
        wxEndBusyCursor();
        m_btnTestMail->Enable();
        ShowCannotStartThread(this);
    }
}

void COptionsDlg::OnTestMailDone(wxThreadEvent& event) {
    if (!m_bTesting) return;
    m_bTesting = false;
    wxEndBusyCursor();
    const int result = event.GetInt();
    if (result == -2)
        ShowNotice(this, "初始化winsock2失败！", wxOK | wxICON_EXCLAMATION);
    else if (result == 0)
        ShowNotice(this, "邮件测试发送成功！", wxOK | wxICON_INFORMATION);
    else
        ShowNotice(this, "邮件发送失败！请确认邮件账户密码是否正确！");
    m_btnTestMail->Enable(m_chkAlertEmail->GetValue());
}

}  // namespace sentrel
