#include "app/UrlDlg.h"

#include <wx/stattext.h>

#include "base/ThreadMessages.h"
#include "controls/DialogUnits.h"
#include "controls/FitText.h"
#include "controls/Notice.h"
#include "controls/WxPost.h"
#include "controls/WxText.h"
#include "model/AlertRules.h"
#include "platform/PageAccess.h"
#include "platform/TextRules.h"
#include "probe/WatchThread.h"
#include "res/resource.h"
#include "store/UrlTextFile.h"
#include "store/WatchList.h"

namespace sentrel {

namespace {

constexpr int IDC_URL_EDIT = 1017;
constexpr int IDC_NOTE_EDIT = 1018;
constexpr int IDC_PREVIEW = 1019;

}  // namespace

CUrlDlg::CUrlDlg(wxWindow* parent)
    : wxDialog(parent, IDD_URL, TrW("网址"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(wxFont(wxFontInfo(9)));
    // Laid out in dialog units, converted with this dialog's font, as its template says.
    auto at = [this](int x, int y, int w, int h) { return DialogRect(this, x, y, w, h); };
    auto place = [](wxWindow* w, const wxRect& r) { w->SetSize(r); };
    SetClientSize(ConvertDialogToPixels(wxSize(253, 357)));
    // Created in tab order: the edits, the way of comparing, then the buttons.
    m_editUrl = new wxTextCtrl(this, IDC_URL_EDIT);
    place(m_editUrl, at(45, 16, 201, 14));
    // The field's own limit, said aloud: a longer paste is refused, not silently cut.
    m_editUrl->SetMaxLength(static_cast<unsigned long>(kMaxUrlChars));
    m_editUrl->Bind(wxEVT_TEXT_MAXLEN, [this](wxCommandEvent&) { WarnTooLong(); });
    m_editNote = new wxTextCtrl(this, IDC_NOTE_EDIT);
    place(m_editNote, at(45, 33, 201, 14));
    const wxString modes[] = {TrW("网页大小"), TrW("网页文字")};
    m_choiceCompare = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, modes);
    place(m_choiceCompare, at(45, 50, 70, 14));
    m_choiceCompare->SetName(TrW("比较方式"));
    m_editInterval = new wxTextCtrl(this, wxID_ANY);
    place(m_editInterval, at(166, 50, 80, 14));
    m_editInterval->SetHint(TrW("留空为默认"));
    m_editInterval->SetName(TrW("间隔（秒），留空为默认"));
    m_chkRender = new wxCheckBox(this, wxID_ANY, TrW("运行网页脚本（用浏览器打开）"));
    place(m_chkRender, at(45, 67, 201, 10));
    m_editSelect = new wxTextCtrl(this, wxID_ANY);
    place(m_editSelect, at(45, 81, 201, 14));
    m_editSelect->SetHint(TrW("CSS 选择器或 XPath，留空为整页"));
    m_editSelect->SetName(TrW("选取"));
    m_editIgnore = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxTE_MULTILINE);
    place(m_editIgnore, at(45, 98, 201, 30));
    m_editIgnore->SetName(TrW("忽略"));
    m_editAlertIf = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                   wxTE_MULTILINE);
    place(m_editAlertIf, at(45, 141, 201, 30));
    m_editAlertIf->SetName(TrW("提醒条件"));
    m_textAlertIf = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                     wxDefaultSize, wxST_NO_AUTORESIZE);
    place(m_textAlertIf, at(45, 173, 201, 17));
    // How the page is reached: its own proxy, its logged-in session, its own headers.
    m_editProxy = new wxTextCtrl(this, wxID_ANY);
    place(m_editProxy, at(45, 193, 125, 14));
    m_editProxy->SetHint(TrW("留空为程序的代理"));
    m_editProxy->SetToolTip(TrW("http://、https://、socks5:// 或 socks5h://，可带 用户:密码@；none 为直连"));
    m_editProxy->SetName(TrW("代理"));
    m_editSession = new wxTextCtrl(this, wxID_ANY);
    place(m_editSession, at(200, 193, 46, 14));
    m_editSession->SetName(TrW("会话"));
    m_editHeaders = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                   wxTE_MULTILINE | wxTE_DONTWRAP);
    place(m_editHeaders, at(45, 210, 201, 26));
    m_editHeaders->SetName(TrW("请求头"));
    m_buttonPreview = new wxButton(this, IDC_PREVIEW, TrW("预览"));
    place(m_buttonPreview, at(45, 239, 50, 14));
    m_textPreview = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                   wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    place(m_textPreview, at(45, 256, 201, 78));
    m_textPreview->SetName(TrW("预览"));
    auto* ok = new wxButton(this, wxID_OK, TrW("确定"));
    place(ok, at(141, 338, 50, 14));
    ok->SetDefault();
    place(new wxButton(this, wxID_CANCEL, TrW("取消")), at(196, 338, 50, 14));
    place(new wxStaticText(this, wxID_ANY, TrW("网址：")), at(7, 17, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("备注：")), at(7, 35, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("比较方式：")), at(7, 52, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("间隔（秒）：")), at(118, 52, 46, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("选取：")), at(7, 83, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("忽略：")), at(7, 100, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("提醒条件：")), at(7, 143, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("代理：")), at(7, 195, 36, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("会话：")), at(173, 195, 26, 8));
    place(new wxStaticText(this, wxID_ANY, TrW("请求头：")), at(7, 212, 36, 8));
    // A multi-line field has no native hint: its help stands under it.
    place(new wxStaticText(this, wxID_ANY, TrW("每行一条：文字或 /正则/")), at(45, 130, 201, 8));
    FitTexts(this);  // a longer language's words are not cut off
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnOK(); }, wxID_OK);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { OnPreview(); }, IDC_PREVIEW);
    m_choiceCompare->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ShowCompareFields(); });
    // The conditions are checked as they are typed.
    m_editAlertIf->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { ShowAlertIfStatus(); });
    m_pPreviewTarget = MakeWxPostTarget<Preview>(this, WM_PREVIEW_DONE);
    Bind(
        wxEVT_THREAD, [this](wxThreadEvent& e) { PreviewDone(e.GetPayload<Preview>()); },
        WM_PREVIEW_DONE);
}

CUrlDlg::~CUrlDlg() {
    m_pPreviewTarget->Close();
    EndPreview();
}

int CUrlDlg::ShowModal() {
    OnInitDialog();
    CentreOnParent();
    return wxDialog::ShowModal();
}

void CUrlDlg::OnInitDialog() {
    if (m_bEdit) {
        m_editUrl->ChangeValue(m_strUrl);
        m_editNote->ChangeValue(m_strNote);
        SetTitle(TrW("编辑网址"));
    } else {
        m_editUrl->Clear();
        m_editNote->Clear();
        SetTitle(TrW("新增网址"));
    }
    m_editInterval->ChangeValue(m_nInterval > 0 ? wxString::Format("%d", m_nInterval) : wxString());
    m_choiceCompare->SetSelection(m_compare.Text() ? 1 : 0);
    m_editSelect->ChangeValue(U(m_compare.select));
    m_editIgnore->ChangeValue(U(m_compare.ignore));
    m_chkRender->SetValue(m_compare.Text() && m_compare.render);
    m_editAlertIf->ChangeValue(U(m_compare.Text() ? m_strAlertIf : std::string()));
    m_editProxy->ChangeValue(U(m_access.proxy));
    m_editSession->ChangeValue(U(m_access.session));
    m_editHeaders->ChangeValue(U(StoredHeaders(m_access.headers)));
    ShowCompareFields();
    ShowAlertIfStatus();
    m_editUrl->SetFocus();
}

void CUrlDlg::ShowCompareFields() {
    // A region, rules and a preview mean something to a text row only.
    const bool text = m_choiceCompare->GetSelection() == 1;
    m_chkRender->Enable(text);
    m_editSelect->Enable(text);
    m_editIgnore->Enable(text);
    m_editAlertIf->Enable(text);
    m_textAlertIf->Enable(text);
    m_buttonPreview->Enable(text);
}

void CUrlDlg::ShowAlertIfStatus() {
    AlertRules rules;
    std::string problem, status;
    const bool ok = rules.Parse(S(m_editAlertIf->GetValue()), problem);
    if (!ok) {
        status = problem;
    } else if (rules.Empty()) {
        status = Tr("每行一条，例如 below:100、appears:有货、added:/招聘/；留空则每次变化都提醒");
    } else if (!m_bPreviewed) {
        status = Fill(TrN("{0} 条条件，预览后显示当前文字满足哪些", "{0} 条条件，预览后显示当前文字满足哪些",
                          static_cast<int>(rules.Written().size())),
                      {std::to_string(rules.Written().size())});
    } else {
        // Which the previewed text meets now; removed: and change: are known only at a change.
        std::string met, unmet, later;
        const std::vector<std::string> written = rules.Written();
        const std::vector<AlertRules::Standing> now = rules.Now(m_strPreviewed);
        for (std::size_t i = 0; i < written.size(); ++i) {
            std::string& list = now[i] == AlertRules::Standing::Met      ? met
                                : now[i] == AlertRules::Standing::NotMet ? unmet
                                                                                  : later;
            list += (list.empty() ? "" : Tr("、")) + written[i];
        }
        auto part = [&status](const char* label, const std::string& rules) {
            if (!rules.empty()) status += (status.empty() ? "" : Tr("；")) + Tr(label) + rules;
        };
        part(N_("预览的文字满足："), met);
        part(N_("不满足："), unmet);
        part(N_("变化时判断："), later);
    }
    m_textAlertIf->SetForegroundColour(ok ? wxNullColour : wxColour(0xC0, 0x00, 0x00));
    m_strAlertIfStatus = status;
    m_textAlertIf->SetLabel(U(status));
    m_textAlertIf->SetToolTip(U(status));  // all of it, where the line is too short
    m_textAlertIf->Wrap(m_textAlertIf->GetSize().GetWidth());
}

PageAccess CUrlDlg::EnteredAccess() const {
    PageAccess access;
    access.proxy = TrimBlanks(S(m_editProxy->GetValue()));
    access.session = TrimBlanks(S(m_editSession->GetValue()));
    // A NUL typed or pasted into the field is kept, to be refused with the header it is in.
    const wxString typed = m_editHeaders->GetValue();  // the buffer below may point into it
    const wxScopedCharBuffer bytes = typed.utf8_str();
    access.headers = HeaderLines(std::string(bytes.data(), bytes.length()));
    return access;
}

CompareOptions CUrlDlg::EnteredCompare() const {
    CompareOptions compare;
    if (m_choiceCompare->GetSelection() != 1) return compare;
    compare.mode = CompareOptions::kText;
    compare.select = S(m_editSelect->GetValue());
    compare.ignore = S(m_editIgnore->GetValue());
    compare.render = m_chkRender->GetValue();
    return compare;
}

void CUrlDlg::WarnTooLong() {
    ShowNotice(this, Fill(Tr("网址过长，不能超过 {0} 个字符！"), {std::to_string(kMaxUrlChars)}),
               wxOK | wxICON_EXCLAMATION);
}

void CUrlDlg::OnOK() {
    // A row is one line of a list file: a pasted line break or tab would split it. The
    // checks are those of sentrel-watch --add, with its words.
    std::string url = S(m_editUrl->GetValue()), note = S(m_editNote->GetValue());
    const CompareOptions compare = EnteredCompare();
    const std::string alertIf = compare.Text() ? S(m_editAlertIf->GetValue()) : std::string();
    std::string problem;
    if (!CheckRow(url, note, compare, problem, alertIf)) {
        std::string ruleProblem;
        wxTextCtrl* field = url.empty() || compare.mode == CompareOptions::kSize ? m_editUrl
                            : !AlertRules().Parse(alertIf, ruleProblem) && ruleProblem == problem
                                ? m_editAlertIf
                                : m_editSelect;
        field->SetFocus();
        ShowNotice(this, problem, wxOK | wxICON_EXCLAMATION);
        return;
    }
    int interval = 0;
    if (!ReadPageInterval(S(m_editInterval->GetValue()), interval, problem)) {
        m_editInterval->SetFocus();
        ShowNotice(this, problem, wxOK | wxICON_EXCLAMATION);
        return;
    }
    const PageAccess access = EnteredAccess();
    wxTextCtrl* wrong = !CheckProxy(access.proxy, problem) ? m_editProxy
                        : !access.session.empty() && !CheckSessionName(access.session, problem) ? m_editSession
                        : !CheckAccess(access, problem) ? m_editHeaders
                                                        : nullptr;
    if (!wrong && !access.session.empty() && !(compare.Text() && compare.render)) {
        problem = Tr("会话只用于运行网页脚本的网页文字比较");
        wrong = m_editSession;
    }
    if (wrong) {
        wrong->SetFocus();
        ShowNotice(this, problem, wxOK | wxICON_EXCLAMATION);
        return;
    }
    m_access = access;
    m_nInterval = interval;
    m_strUrl = U(url);
    m_strNote = U(note);
    m_compare = compare;
    m_strAlertIf = alertIf;
    EndPreview();
    SetReturnCode(wxID_OK);  // also when shown without a modal loop
    EndDialog(wxID_OK);
}

void CUrlDlg::OnPreview() {
    if (PreviewRunning()) {
        EndPreview();
        m_textPreview->ChangeValue(TrW("预览已取消。"));
        return;
    }
    EndPreview();
    std::string url = S(m_editUrl->GetValue()), note;
    CompareOptions compare = EnteredCompare();
    std::string problem;
    if (!CheckRow(url, note, compare, problem)) {
        m_textPreview->ChangeValue(U(problem));
        return;
    }
    m_textPreview->ChangeValue(TrW("正在获取网页..."));
    m_buttonPreview->SetLabel(TrW("取消预览"));
    m_pPreviewFlag = std::make_shared<CRunFlag>("RUN");
    m_bPreviewDone = false;
    const int preview = ++m_nPreview;
    // The page is fetched as a watcher fetches it, on a thread of its own: the dialog
    // stays usable, and the flag gives the fetch up at once.
    const PageAccess access = EnteredAccess();
    std::string accessProblem;
    if (!CheckAccess(access, accessProblem)) {
        m_textPreview->ChangeValue(U(accessProblem));
        return;
    }
    // The preview asks as the row will: through its proxy, with its headers.
    auto route = std::make_shared<const PageRoute>(
        PageRoute{ChooseProxy(access.proxy, m_strProgramProxy), access.headers});
    m_preview = std::thread([target = m_pPreviewTarget, url, compare, preview, flag = m_pPreviewFlag, route] {
        const auto reader = compare.Reader();
        std::string text;
        bool ok = false;
        CWatchThread probe;
        probe.SetAbortFlag(flag);
        probe.SetReader(reader.get());
        probe.SetRender(compare.render);  // a page built by script, as the browser shows it
        probe.SetRoute(route.get());
        if (!probe.OpenSession()) {
            text = Tr("无法预览：无法建立网络会话");
        } else {
            const ProbeResult result = probe.Probe(url.c_str(), nullptr);
            if (!result.Ok())
                text = Tr("无法预览：") + result.Reason();
            else if (result.text->empty())
                text = Tr("（没有文字）");
            else
                text = *result.text;
            ok = result.Ok();
        }
        if (!flag->IsAborted()) target->Post({preview, text, ok});
    });
}

void CUrlDlg::PreviewDone(const Preview& preview) {
    if (preview.number != m_nPreview || m_bPreviewDone) return;  // given up meanwhile
    if (m_preview.joinable()) m_preview.join();
    m_bPreviewDone = true;
    m_textPreview->ChangeValue(U(preview.text));
    m_buttonPreview->SetLabel(TrW("预览"));
    m_bPreviewed = preview.bOk;
    m_strPreviewed = preview.bOk ? preview.text : std::string();
    ShowAlertIfStatus();
}

void CUrlDlg::EndPreview() {
    if (!m_preview.joinable()) return;
    m_pPreviewFlag->Abort();
    m_preview.join();
    ++m_nPreview;
    m_bPreviewDone = true;
    m_buttonPreview->SetLabel(TrW("预览"));
}

}  // namespace sentrel
