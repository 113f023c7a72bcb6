#include "settings/OptionsDlg.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>
#include <wx/valtext.h>

#include "controls/DialogUnits.h"
#include "controls/FitText.h"
#include "controls/Notice.h"
#include "controls/WxPost.h"
#include "controls/WxText.h"
#include "delivery/MailProvider.h"
#include "delivery/ReminderMail.h"
#include "platform/Keyring.h"
#include "platform/TextRules.h"
#include "probe/BrowserFinder.h"
#include "probe/Renderer.h"
#include "res/resource.h"
#include "support/CCore.h"
#include "support/Product.h"

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
constexpr int IDC_SMTP_HOST = 1022;
constexpr int IDC_SMTP_PORT = 1023;
constexpr int IDC_SMTP_SECURITY = 1024;
constexpr int IDC_MAIL_FROM = 1025;
constexpr int IDC_PROVIDER_NOTE = 1026;
constexpr int IDC_LANGUAGE = 1027;
constexpr int IDC_WEBHOOK_ON = 1028;
constexpr int IDC_WEBHOOK = 1029;
constexpr int IDC_NTFY = 1030;
constexpr int IDC_BROWSER = 1031;
constexpr int IDC_BROWSER_CHOOSE = 1032;
constexpr unsigned kTestMailDone = 1;
// Options waits this long at most for the keyring (the main window never does).
constexpr std::chrono::milliseconds kOptionsKeyringBound(1500);

}  // namespace

COptionsDlg::COptionsDlg(wxWindow* parent)
    : wxDialog(parent, IDD_OPTIONS, TrW("选项"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(wxFont(wxFontInfo(9)));
    // Laid out in dialog units, converted with this dialog's font, as its template says.
    auto at = [this](int x, int y, int w, int h) { return DialogRect(this, x, y, w, h); };
    auto label = [&](const wxString& text, const wxRect& r, int id = wxID_ANY) {
        (new wxStaticText(this, id, text))->SetSize(r);
    };
    SetClientSize(ConvertDialogToPixels(wxSize(324, 369)));

    label(TrW("监控间隔："), at(23, 16, 41, 8));
    m_editInterval = new wxTextCtrl(this, IDC_INTERVAL, wxEmptyString, wxDefaultPosition,
                                    wxDefaultSize, wxTE_CENTRE,
                                    wxTextValidator(wxFILTER_DIGITS));  // digits only
    m_editInterval->SetSize(at(72, 13, 40, 14));
    label(TrW("（秒）"), at(118, 15, 25, 8));
    // Named in both languages: whoever cannot read the one finds the other.
    label(U("语言 / Language："), at(168, 16, 62, 8));
    m_choiceLanguage = new wxChoice(this, IDC_LANGUAGE);
    m_choiceLanguage->Append(TrW("跟随系统"), new wxStringClientData(""));
    m_choiceLanguage->Append(U("中文"), new wxStringClientData("zh"));
    m_choiceLanguage->Append(U("English"), new wxStringClientData("en"));
    m_choiceLanguage->SetSize(at(232, 13, 84, 14));
    m_choiceLanguage->SetName(U("语言 / Language"));
    label(TrW("下次启动时生效"), at(168, 30, 148, 8));
    // The browser that renders pages built by script: the one found, or one chosen.
    label(TrW("浏览器："), at(168, 45, 30, 8));
    m_editBrowser = new wxTextCtrl(this, IDC_BROWSER);
    m_editBrowser->SetSize(at(200, 42, 90, 14));
    m_editBrowser->SetName(TrW("浏览器"));
    auto* choose = new wxButton(this, IDC_BROWSER_CHOOSE, U("…"));
    choose->SetSize(at(292, 42, 20, 14));
    choose->SetName(TrW("选择浏览器"));
    m_chkAlertWav = new wxCheckBox(this, IDC_ALERT_WAV, TrW("声音提醒"));
    m_chkAlertWav->SetSize(at(23, 38, 48, 10));
    m_chkNotify = new wxCheckBox(this, IDC_NOTIFY, TrW("桌面通知"));
    m_chkNotify->SetSize(at(80, 38, 60, 10));
    // The proxy every page, render and push goes through, unless a row names its own.
    label(TrW("代理："), at(168, 60, 30, 8));
    m_editProxy = new wxTextCtrl(this, wxID_ANY);
    m_editProxy->SetSize(at(200, 57, 112, 14));
    m_editProxy->SetName(TrW("代理"));
    m_editProxy->SetHint(TrW("留空为系统的设置"));
    m_chkAlertEmail = new wxCheckBox(this, IDC_ALERT_EMAIL, TrW("邮件提醒"));
    m_chkAlertEmail->SetSize(at(23, 58, 48, 10));
    label(TrW("收件人："), at(34, 73, 33, 8));
    m_editEmailRcv = new wxTextCtrl(this, IDC_EMAIL_RCV);
    m_editEmailRcv->SetSize(at(72, 71, 221, 14));
    (new wxStaticBox(this, IDC_ACCOUNT_GROUP, TrW("邮件发送账户")))->SetSize(at(34, 93, 282, 99));
    const std::string domain = std::string(g_szMailSuffix).substr(1);
    m_noteProvider =
        new wxStaticText(this, IDC_PROVIDER_NOTE,
                         U(Fill(Tr("内置服务器只支持 {0} 邮箱，建议新申请一个专用邮箱。"), {domain})));
    m_noteProvider->SetSize(at(79, 113, 215, 8));
    label(TrW("用户名："), at(79, 129, 33, 8));
    m_editSendUser = new wxTextCtrl(this, IDC_SEND_USER);
    m_editSendUser->SetSize(at(121, 126, 172, 14));
    label(TrW("密码："), at(87, 147, 25, 8));
    m_editSendPwd = new wxTextCtrl(this, IDC_SEND_PWD, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxTE_PASSWORD);
    m_editSendPwd->SetSize(at(121, 144, 172, 14));
    m_btnTestMail = new wxButton(this, IDC_TEST_MAIL, TrW("测试邮件发送"));
    m_btnTestMail->SetSize(at(121, 166, 88, 14));
    (new wxStaticBox(this, wxID_ANY, TrW("邮件服务器")))->SetSize(at(34, 197, 282, 71));
    label(TrW("服务器："), at(44, 213, 33, 8));
    m_editSmtpHost = new wxTextCtrl(this, IDC_SMTP_HOST);
    m_editSmtpHost->SetSize(at(79, 210, 134, 14));
    label(TrW("端口："), at(220, 213, 25, 8));
    m_editSmtpPort = new wxTextCtrl(this, IDC_SMTP_PORT, wxEmptyString, wxDefaultPosition,
                                    wxDefaultSize, wxTE_CENTRE, wxTextValidator(wxFILTER_DIGITS));
    m_editSmtpPort->SetSize(at(246, 210, 47, 14));
    label(TrW("加密："), at(52, 231, 25, 8));
    m_choiceSecurity = new wxChoice(this, IDC_SMTP_SECURITY);
    m_choiceSecurity->Append(U("SSL/TLS"), new wxStringClientData("ssl"));
    m_choiceSecurity->Append(U("STARTTLS"), new wxStringClientData("starttls"));
    m_choiceSecurity->Append(TrW("无加密"), new wxStringClientData("none"));
    m_choiceSecurity->SetSize(at(79, 228, 80, 14));
    label(TrW("发件人地址："), at(36, 249, 41, 8));
    m_editMailFrom = new wxTextCtrl(this, IDC_MAIL_FROM);
    m_editMailFrom->SetSize(at(79, 246, 214, 14));
    m_chkMailOnFailure = new wxCheckBox(this, IDC_MAIL_ON_FAILURE, TrW("访问失败或恢复时也发送邮件"));
    m_chkMailOnFailure->SetSize(at(34, 274, 160, 10));
    // Events to where teams look: webhooks (one URL a line) and an ntfy topic.
    m_chkWebhook = new wxCheckBox(this, IDC_WEBHOOK_ON, TrW("推送到 Webhook 和 ntfy"));
    m_chkWebhook->SetSize(at(23, 290, 140, 10));
    label(TrW("Webhook："), at(34, 306, 41, 8));
    m_editWebhook = new wxTextCtrl(this, IDC_WEBHOOK, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxTE_MULTILINE | wxTE_DONTWRAP);
    m_editWebhook->SetSize(at(79, 304, 214, 24));
    m_editWebhook->SetName(U("Webhook"));
    label(TrW("每行一个网址，收到事件的 JSON"), at(168, 291, 148, 8));
    label(TrW("ntfy："), at(34, 334, 41, 8));
    m_editNtfy = new wxTextCtrl(this, IDC_NTFY);
    m_editNtfy->SetSize(at(79, 332, 214, 14));
    m_editNtfy->SetHint(U("https://ntfy.sh/…"));
    m_editNtfy->SetName(U("ntfy"));
    auto* ok = new wxButton(this, wxID_OK, TrW("确定"));
    ok->SetSize(at(210, 350, 50, 14));
    ok->SetDefault();
    (new wxButton(this, wxID_CANCEL, TrW("取消")))->SetSize(at(267, 350, 50, 14));

    FitTexts(this);  // a longer language's words are not cut off

    Bind(
        wxEVT_CHECKBOX, [this](wxCommandEvent&) { OnCheckAlertEmail(); }, IDC_ALERT_EMAIL);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnTestMail(); }, IDC_TEST_MAIL);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); }, wxID_CANCEL);
    Bind(
        wxEVT_CHOICE, [this](wxCommandEvent&) { OnSecurityChanged(); }, IDC_SMTP_SECURITY);
    Bind(
        wxEVT_TEXT, [this](wxCommandEvent&) { OnServerChanged(); }, IDC_SMTP_HOST);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { OnCancel(); });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnChooseBrowser(); }, IDC_BROWSER_CHOOSE);
    Bind(
        wxEVT_THREAD, [this](wxThreadEvent& e) { OnTestMailDone(e.GetPayload<MailResult>()); },
        kTestMailDone);
    // A password typed here replaces the keyring's, an emptied one removes it.
    Bind(
        wxEVT_TEXT, [this](wxCommandEvent&) { m_bSendPwdInKeyring = false; }, IDC_SEND_PWD);
    m_pResults = MakeWxPostTarget<MailResult>(this, kTestMailDone);

    // Every setting shown, put into its control and taken back as it was typed.
    BindSetting<int>(
        keys::kInterval, [this](const int& v) { m_editInterval->ChangeValue(wxString::Format("%d", v)); },
        [this](int& v) {
            // A pasted number beyond 32 bits is taken as the largest, not wrapped to a
            // negative; a run brings it within the setting's bounds.
            v = AtoiClamped(m_editInterval->GetValue().utf8_str());
        });
    BindSetting<std::string>(
        keys::kSmtpHost,
        [this](const std::string& v) { m_editSmtpHost->ChangeValue(U(v.empty() ? g_szSmtpHost : v)); },
        [this](std::string& v) {
            v = TrimBlanks(S(m_editSmtpHost->GetValue()));
            if (IsBuiltInMailHost(v)) v.clear();
        });
    BindSetting(keys::kSmtpSecurity, m_choiceSecurity);
    BindSetting<int>(
        keys::kSmtpPort,
        [this](const int& v) {
            const MailSecurity security = ParseMailSecurity(m_strSmtpSecurity);
            m_editSmtpPort->ChangeValue(
                wxString::Format("%d", v > 0 ? v : static_cast<int>(DefaultMailPort(security))));
        },
        [this](int& v) {
            // Read after the security: a port left at its default follows the security later.
            const wxString text = m_editSmtpPort->GetValue();
            const int port = text.empty() ? 0 : AtoiClamped(text.utf8_str());
            if (!text.empty() && !keys::kSmtpPort.InBounds(port)) return;  // checked before OK
            v = port == DefaultMailPort(ParseMailSecurity(m_strSmtpSecurity)) ? 0 : port;
        });
    BindSetting<std::string>(
        keys::kMailFrom, [this](const std::string& v) { m_editMailFrom->ChangeValue(U(v)); },
        [this](std::string& v) { v = TrimBlanks(S(m_editMailFrom->GetValue())); });
    BindSetting(keys::kAlertWav, m_chkAlertWav);
    BindSetting(keys::kNotify, m_chkNotify);
    BindSetting(keys::kAlertEmail, m_chkAlertEmail);
    BindSetting(keys::kMailOnFailure, m_chkMailOnFailure);
    BindSetting(keys::kEmailRcv, m_editEmailRcv);
    BindSetting(keys::kSendUser, m_editSendUser);
    BindSetting(keys::kSendPwd, m_editSendPwd);
    BindSetting(keys::kLanguage, m_choiceLanguage);
    BindSetting(keys::kBWebhook, m_chkWebhook);
    BindSetting(keys::kWebhook, m_editWebhook);
    BindSetting(keys::kNtfy, m_editNtfy);
    BindSetting<std::string>(
        keys::kProxy, [this](const std::string& v) { m_editProxy->ChangeValue(U(v)); },
        [this](std::string& v) { v = TrimBlanks(S(m_editProxy->GetValue())); });
    BindSetting<std::string>(
        keys::kBrowser, [this](const std::string& v) { m_editBrowser->ChangeValue(U(v)); },
        [this](std::string& v) { v = TrimBlanks(S(m_editBrowser->GetValue())); });
}

namespace {
void Put(wxCheckBox* box, bool value) {
    box->SetValue(value);
}
void Take(wxCheckBox* box, bool& value) {
    value = box->GetValue();
}
void Put(wxTextCtrl* edit, const std::string& value) {
    edit->ChangeValue(U(value));
}
void Take(wxTextCtrl* edit, std::string& value) {
    value = S(edit->GetValue());
}
// A choice whose entries carry the values they stand for.
void Put(wxChoice* choice, const std::string& value) {
    for (unsigned i = 0; i < choice->GetCount(); ++i)
        if (S(static_cast<wxStringClientData*>(choice->GetClientObject(i))->GetData()) == value)
            choice->SetSelection(static_cast<int>(i));
}
void Take(wxChoice* choice, std::string& value) {
    const int i = choice->GetSelection();
    if (i != wxNOT_FOUND)
        value = S(static_cast<wxStringClientData*>(choice->GetClientObject(static_cast<unsigned>(i)))
                      ->GetData());
}
}  // namespace

template <typename T, typename Control>
void COptionsDlg::BindSetting(const SettingKey<T>& key, Control* control) {
    BindSetting<T>(
        key, [control](const T& v) { Put(control, v); }, [control](T& v) { Take(control, v); });
}

template <typename T>
void COptionsDlg::BindSetting(const SettingKey<T>& key, std::function<void(const T&)> put,
                              std::function<void(T&)> take) {
    T Settings::*field = key.field;
    m_puts.push_back([this, field, put] { put(this->*field); });
    m_takes.push_back([this, field, take] { take(this->*field); });
}

void COptionsDlg::TakeSettings() {
    for (const auto& take : m_takes) take();
}

COptionsDlg::~COptionsDlg() {
    m_pResults->Close();  // a test mail still under way reports to nobody
    if (m_pCancelTest) *m_pCancelTest = true;
    if (m_bTesting) wxEndBusyCursor();
}

int COptionsDlg::ShowModal() {
    OnInitDialog();
    CentreOnScreen();
    return wxDialog::ShowModal();
}

void COptionsDlg::OnInitDialog() {
    ReadKeyring();
    ShowFoundBrowser();
    if (m_choiceSecurity->GetSelection() == wxNOT_FOUND) m_choiceSecurity->SetSelection(0);
    for (const auto& put : m_puts) put();
    const MailSecurity security = ParseMailSecurity(m_strSmtpSecurity);
    m_editMailFrom->SetHint(U(Fill(Tr("默认：用户名{0}"), {g_szMailSuffix})));
    // What was stored before was confirmed then.
    if (security == MailSecurity::kNone) m_strPlainConfirmed = m_strSmtpHost;
    OnServerChanged();
    EnableMailControls(m_bAlertEmail);
}

void COptionsDlg::ShowFoundBrowser() {
    // Left empty, the field says which browser is used: the one found on this computer.
    const std::string found = FindBrowser(std::string());
    const std::string name = found.substr(found.find_last_of("/\\") + 1);  // the whole path in the tip
    m_editBrowser->SetHint(found.empty() ? TrW("未找到浏览器") : U(Fill(Tr("自动：{0}"), {name})));
    m_editBrowser->SetToolTip(found.empty() ? TrW("未找到浏览器（请安装 Chromium、Chrome 或 Edge）")
                                            : U(Fill(Tr("自动：{0}"), {found})));
}

void COptionsDlg::OnChooseBrowser() {
    wxFileDialog dlg(this, TrW("选择浏览器"), wxEmptyString, wxEmptyString, wxFileSelectorDefaultWildcardStr,
                     wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dlg.ShowModal() == wxID_OK) m_editBrowser->ChangeValue(dlg.GetPath());
}

void COptionsDlg::ReadKeyring() {
#ifndef _WIN32
    // One call, within a short bound: the password when it is the keyring's, else whether
    // a keyring answers at all (the note says where the password goes otherwise).
    const std::string server = KeyringServerOf(m_strSmtpHost);
    const bool read = m_bSendPwdInKeyring && !m_strSendUser.empty();
    std::string password, why;
    const KeyringAnswer answer =
        KeyringLookup(read ? server : std::string(), read ? m_strSendUser : std::string(), password,
                      why, kOptionsKeyringBound);
    if (read && (answer == KeyringAnswer::kYes || answer == KeyringAnswer::kNo)) {
        m_strSendPwd = password;
        m_bSendPwdInKeyring = false;
    }
    std::string note;
    if (answer == KeyringAnswer::kNoAnswer)
        note = m_bSendPwdInKeyring ? Tr("密钥环没有响应：已保存的密码留在密钥环中，此处无法显示。")
                                   : Tr("密钥环没有响应：密码将保存在仅您可读的 sentrel.ini 中。");
    else if (answer == KeyringAnswer::kNoKeyring)
        note = Tr("未找到桌面密钥环：密码将保存在仅您可读的 sentrel.ini 中。");
    if (note.empty() || m_noteKeyring) return;
    m_noteKeyring = new wxStaticText(this, wxID_ANY, U(note));
    m_noteKeyring->SetSize(DialogRect(this, 79, 182, 215, 8));
    m_noteKeyring->SetToolTip(U(KeyringFailure(answer, why)));
#endif
}

void COptionsDlg::OnServerChanged() {
    m_noteProvider->Show(IsBuiltInMailHost(S(m_editSmtpHost->GetValue()).c_str()));
}

void COptionsDlg::OnSecurityChanged() {
    const std::string chosen = ChosenSecurity();
    const int port = AtoiClamped(m_editSmtpPort->GetValue().utf8_str());
    if (m_editSmtpPort->GetValue().empty() ||
        port == DefaultMailPort(ParseMailSecurity(m_strSmtpSecurity)))
        m_editSmtpPort->ChangeValue(
            wxString::Format("%d", static_cast<int>(DefaultMailPort(ParseMailSecurity(chosen)))));
    m_strSmtpSecurity = chosen;
}

std::string COptionsDlg::ChosenSecurity() const {
    std::string name = keys::kSmtpSecurity.fallback;
    Take(m_choiceSecurity, name);
    return name;
}

void COptionsDlg::EnableMailControls(bool bEnable) {
    m_editEmailRcv->Enable(bEnable);
    m_editSendUser->Enable(bEnable);
    m_editSendPwd->Enable(bEnable);
    m_chkMailOnFailure->Enable(bEnable);
    m_editSmtpHost->Enable(bEnable);
    m_editSmtpPort->Enable(bEnable);
    m_choiceSecurity->Enable(bEnable);
    m_editMailFrom->Enable(bEnable);
    m_btnTestMail->Enable(bEnable && !m_bTesting);
}

void COptionsDlg::OnCheckAlertEmail() {
    m_bAlertEmail = m_chkAlertEmail->GetValue();
    EnableMailControls(m_bAlertEmail);
}

void COptionsDlg::OnCancel() {
    if (m_bTesting) {
        // The test mail is given up: its worker stops at its next wait, and its result,
        // should one still come, goes to nobody.
        *m_pCancelTest = true;
        m_bTesting = false;
        wxEndBusyCursor();
        m_btnTestMail->Enable(m_chkAlertEmail->GetValue());
    }
    SetReturnCode(wxID_CANCEL);
    EndDialog(wxID_CANCEL);
}

}  // namespace sentrel
