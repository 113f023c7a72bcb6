// The options dialog: its checks in order, the user-name normalisation, the mail
// controls, the test mail against real and hostile servers, and Options in the window.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <fstream>

#include "ModalHook.h"
#include "MonitorFixture.h"
#include "base/WorkerGroup.h"
#include "delivery/MailProvider.h"
#include "settings/OptionsDlg.h"
#include "support/CCore.h"
#include "support/Product.h"
#include "testsupport/ScriptedSmtpServer.h"
#include "testsupport/SmtpSink.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

namespace {

struct Values {
    const char* interval;
    bool mail;
    const char* rcv;
    const char* user;
    const char* pwd;
};

/// An options dialog shown as the window shows it, but without a modal loop.
class OptionsFixture : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        CMonitorApp::StartCore();
        m_opt = new COptionsDlg(nullptr);
        m_opt->m_nInterval = 60;
        m_opt->m_bAlertWav = true;
        m_opt->OnInitDialog();
        m_opt->Show();
        Pump();
    }
    void TearDown() override {
        EndDialog();
        CMonitorApp::EndCore();
        DialogFixture::TearDown();
    }
    /// The dialog goes, joining its test mail's worker: how long that took.
    std::chrono::steady_clock::duration EndDialog() {
        const auto start = std::chrono::steady_clock::now();
        if (m_opt) m_opt->Destroy();
        m_opt = nullptr;
        Pump();
        return std::chrono::steady_clock::now() - start;
    }
    void Fill(const Values& v) {
        m_opt->IntervalEdit()->ChangeValue(v.interval);
        m_opt->AlertEmailCheck()->SetValue(v.mail);
        m_opt->OnCheckAlertEmail();
        m_opt->EmailRcvEdit()->ChangeValue(wxString::FromUTF8(v.rcv));
        m_opt->SendUserEdit()->ChangeValue(wxString::FromUTF8(v.user));
        m_opt->SendPwdEdit()->ChangeValue(wxString::FromUTF8(v.pwd));
        m_opt->SetReturnCode(0);
    }
    bool Closed() const { return m_opt->GetReturnCode() == wxID_OK; }
    COptionsDlg* m_opt = nullptr;
};

}  // namespace

TEST_F(OptionsFixture, OkChecksInOrderAndFocusesTheFieldAtFault) {
    struct Case {
        Values v;
        const char* warning;
    };
    const Case cases[] = {
        {{"", true, "", "", ""}, "监控间隔不能为空！"},
        {{"0", true, "", "", ""}, "监控间隔不能小于1秒！"},
        {{"abc", false, "", "", ""}, "监控间隔不能小于1秒！"},
        {{"5", true, "", "u", "p"}, "接收邮箱不能为空！"},
        {{"5", true, "r@x.cn", "", "p"}, "发送账户用户名不能为空！"},
        {{"5", true, "r@x.cn", "u", ""}, "发送账号密码不能为空！"},
    };
    wxWindow* focus[] = {m_opt->IntervalEdit(), m_opt->IntervalEdit(), m_opt->IntervalEdit(),
                         m_opt->EmailRcvEdit(), m_opt->SendUserEdit(), m_opt->SendPwdEdit()};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Fill(cases[i].v);
        wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage(cases[i].warning));
        EXPECT_FALSE(Closed()) << cases[i].warning;
        Pump();
        EXPECT_EQ(focus[i], wxWindow::FindFocus()) << cases[i].warning;
    }
    // With mail alerts off, empty mail fields pass as typed.
    Fill({"5", false, "", "Bob@163.COM", ""});
    m_opt->OnOK();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(5, m_opt->m_nInterval);
    EXPECT_EQ("Bob@163.COM", m_opt->m_strSendUser) << "not normalised while mail is off";
    // A pasted number beyond 32 bits is clamped, not wrapped.
    Fill({"99999999999", false, "", "", ""});
    m_opt->OnOK();
    EXPECT_EQ(2147483647, m_opt->m_nInterval);
}

TEST_F(OptionsFixture, HookUrlsAreCheckedOneALineAndKeptWithoutBlankLines) {
    Fill({"5", false, "", "", ""});
    EXPECT_TRUE(m_opt->WebhookCheck()->GetValue()) << "on unless switched off";
    struct Case {
        const char* webhook;
        const char* ntfy;
        const char* warning;
        wxWindow* focus;
    } cases[] = {
        {"https://a/1\nftp://b/", "", "推送网址须以 http:// 或 https:// 开头：ftp://b/",
         m_opt->WebhookEdit()},
        {"", "ntfy.sh/topic", "推送网址须以 http:// 或 https:// 开头：ntfy.sh/topic",
         m_opt->NtfyEdit()},
    };
    for (const Case& c : cases) {
        m_opt->WebhookEdit()->ChangeValue(c.webhook);
        m_opt->NtfyEdit()->ChangeValue(c.ntfy);
        wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage(c.warning));
        EXPECT_FALSE(Closed());
        Pump();
        EXPECT_EQ(c.focus, wxWindow::FindFocus()) << c.warning;
    }
    m_opt->WebhookEdit()->ChangeValue(" https://a/1 \n\n http://b/2\n");
    m_opt->NtfyEdit()->ChangeValue(" https://ntfy.sh/t ");
    m_opt->OnOK();
    EXPECT_TRUE(Closed());
    EXPECT_EQ("https://a/1\nhttp://b/2", m_opt->m_strWebhook);
    EXPECT_EQ("https://ntfy.sh/t", m_opt->m_strNtfy);
}

TEST_F(OptionsFixture, TheUserNameIsNormalisedOnlyWhileMailAlertsAreOn) {
    const std::pair<const char*, const char*> cases[] = {
        {"ALICE", "alice"},           {"Alice@163.Com", "alice"},
        {"a@163.com@163.COMb", "ab"}, {"alice@qq.com", "alice@qq.com"},
        {"Bob@QQ.com", "bob@qq.com"},
    };
    for (const auto& [typed, stored] : cases) {
        Fill({"5", true, "r@x.cn", typed, "pw"});
        m_opt->OnOK();
        EXPECT_TRUE(Closed()) << typed;
        EXPECT_EQ(stored, m_opt->m_strSendUser) << typed;
    }
    // The suffix alone passes the empty check, then the password is still checked.
    Fill({"5", true, "r@x.cn", "@163.com", ""});
    wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage("发送账号密码不能为空！"));
    EXPECT_EQ("", m_opt->m_strSendUser);
}

TEST_F(OptionsFixture, TheMailControlsFollowTheMailCheckBox) {
    auto enabled = [this] {
        return std::vector<bool>{
            m_opt->EmailRcvEdit()->IsEnabled(), m_opt->SendUserEdit()->IsEnabled(),
            m_opt->SendPwdEdit()->IsEnabled(), m_opt->TestMailButton()->IsEnabled(),
            m_opt->MailOnFailureCheck()->IsEnabled()};
    };
    EXPECT_EQ(std::vector<bool>(5, false), enabled()) << "opened with mail alerts off";
    Fill({"5", true, "", "", ""});
    EXPECT_EQ(std::vector<bool>(5, true), enabled());
    Fill({"5", false, "", "", ""});
    EXPECT_EQ(std::vector<bool>(5, false), enabled());
    EXPECT_TRUE(m_opt->SendPwdEdit()->HasFlag(wxTE_PASSWORD)) << "the password is hidden";
}

TEST_F(OptionsFixture, ATestMailThatFailsWarnsAndEnablesTheButtonAgain) {
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", "1", 1);  // nobody listens there
    Fill({"5", true, "r@x.cn", "Alice@163.com", "pw"});
    wxTEST_DIALOG(
        {
            m_opt->OnTestMail();
            EXPECT_FALSE(m_opt->TestMailButton()->IsEnabled()) << "off during the send";
            WaitFor([&] { return !m_opt->IsTestRunning(); });
        },
        ExpectMessage("邮件发送失败！原因：连接被拒绝"));
    EXPECT_TRUE(m_opt->TestMailButton()->IsEnabled());
    EXPECT_EQ("alice", m_opt->m_strSendUser) << "the test normalises the user name";
    EXPECT_EQ("Alice@163.com", m_opt->SendUserEdit()->GetValue()) << "but not the edit";
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
}

TEST_F(OptionsFixture, ASilentServerNeverFreezesTheDialogAndCancelGivesTheTestUp) {
    TestServer silent([](TestServer::Conn& c) { c.Sleep(60s); });
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", std::to_string(silent.Port()).c_str(), 1);
    Fill({"5", true, "r@x.cn", "alice", "pw"});
    m_opt->OnTestMail();
    ASSERT_TRUE(m_opt->IsTestRunning());
    int ticks = 0;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { ++ticks; });
    timer.Start(50);
    WaitFor([] { return false; }, 1s);
    EXPECT_GE(ticks, 10) << "events are handled while the send waits";
    m_opt->OnOK();
    EXPECT_NE(wxID_OK, m_opt->GetReturnCode()) << "OK waits for the test's result";
    // Cancel (Escape and the close box come here too) ends the test and the dialog at once;
    // the send stops at its next wait and no box follows.
    m_opt->OnCancel();
    EXPECT_EQ(wxID_CANCEL, m_opt->GetReturnCode());
    EXPECT_FALSE(m_opt->IsTestRunning());
    EXPECT_LT(EndDialog(), 2s) << "the cancelled send ended";
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
}

TEST_F(OptionsFixture, EscapeGivesUpATestMailUnderWay) {
    TestServer silent([](TestServer::Conn& c) { c.Sleep(60s); });
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", std::to_string(silent.Port()).c_str(), 1);
    Fill({"5", true, "r@x.cn", "alice", "pw"});
    m_opt->Raise();
    Pump();
    // A real click, as a user starts it: the focus is on the button the test turns off.
    wxUIActionSimulator sim;
    sim.MouseMove(m_opt->TestMailButton()->GetScreenRect().GetPosition() + wxPoint(10, 8));
    Pump();
    sim.MouseClick();
    ASSERT_TRUE(WaitFor([&] { return m_opt->IsTestRunning(); }, 2s));
    sim.Char(WXK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !m_opt->IsTestRunning(); }, 2s)) << "Escape gave up nothing";
    EXPECT_EQ(wxID_CANCEL, m_opt->GetReturnCode());
    EXPECT_LT(EndDialog(), 2s) << "the cancelled send ended";
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
}

TEST_F(OptionsFixture, TheMailServerSection) {
    Fill({"5", true, "r@x.cn", "alice", "pw"});
    EXPECT_EQ(g_szSmtpHost, m_opt->SmtpHostEdit()->GetValue());
    EXPECT_EQ("465", m_opt->SmtpPortEdit()->GetValue());
    EXPECT_TRUE(m_opt->ProviderNote()->IsShown());
    // Another server hides the built-in one's note; a port left at its default follows
    // the security, a port the user chose stays.
    m_opt->SmtpHostEdit()->SetValue("mail.example.com");
    EXPECT_FALSE(m_opt->ProviderNote()->IsShown());
    m_opt->SecurityChoice()->SetSelection(1);
    m_opt->OnSecurityChanged();
    EXPECT_EQ("587", m_opt->SmtpPortEdit()->GetValue());
    m_opt->SmtpPortEdit()->ChangeValue("2587");
    m_opt->SecurityChoice()->SetSelection(0);
    m_opt->OnSecurityChanged();
    EXPECT_EQ("2587", m_opt->SmtpPortEdit()->GetValue());
    m_opt->SmtpPortEdit()->ChangeValue("70000");
    wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage("端口必须在 1 到 65535 之间！"));
    EXPECT_FALSE(Closed());

    // No encryption to another machine: asked, and refused, then accepted once.
    const char* const plain =
        "选择“无加密”后，邮件账户的密码将以明文经网络发送，途中的任何人都可能读到。\n确定不加密吗"
        "？";
    m_opt->SmtpPortEdit()->ChangeValue("25");
    m_opt->SecurityChoice()->SetSelection(2);
    wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage(plain, wxID_NO));
    EXPECT_FALSE(Closed());
    m_opt->MailFromEdit()->ChangeValue("me@example.com");
    wxTEST_DIALOG(m_opt->OnOK(), ExpectMessage(plain, wxID_YES));
    EXPECT_TRUE(Closed());
    EXPECT_EQ("mail.example.com", m_opt->m_strSmtpHost);
    EXPECT_EQ("none", m_opt->m_strSmtpSecurity);
    EXPECT_EQ(0, m_opt->m_nSmtpPort) << "the security's own port is kept as the default";
    EXPECT_EQ("me@example.com", m_opt->m_strMailFrom);
    m_opt->SetReturnCode(0);
    m_opt->OnOK();  // asked once only
    EXPECT_TRUE(Closed());
    // A server on this machine is never asked about.
    m_opt->SmtpHostEdit()->SetValue("127.0.0.1");
    m_opt->SetReturnCode(0);
    m_opt->OnOK();
    EXPECT_TRUE(Closed());
}

TEST_F(OptionsFixture, TheTestMailReachesARealServer) {
    const std::string out = Home("mail.txt");
    SmtpSink sink(out);
    ASSERT_TRUE(sink.Ready()) << "the SMTP server did not start (python3-aiosmtpd?)";
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", sink.Port().c_str(), 1);
    Fill({"5", true, "bob@example.com", "ALICE@163.com", "s3cret"});
    wxTEST_DIALOG(
        {
            m_opt->OnTestMail();
            WaitFor([&] { return !m_opt->IsTestRunning(); });
        },
        ExpectMessage("邮件测试发送成功！"));
    EXPECT_TRUE(m_opt->TestMailButton()->IsEnabled());
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
    EXPECT_EQ(1, sink.Delivered());
    EXPECT_EQ(0, sink.Stop());
    const std::string mail = ReadFile(out);
    EXPECT_EQ(0u, mail.find("alice@163.com\nbob@example.com\n网页更新提醒 <alice@163.com>\n"
                            "bob@example.com\n（测试）来自 HalvexSentrel\n"))
        << mail;
    EXPECT_NE(std::string::npos,
              mail.find("收到此邮件，表明您在HalvexSentrel中的邮件发送设置成功！\r\n\r\n"
                        "您无需回复本邮件。\r\n\r\n" +
                        ProductWebAddress() + "\r\n"));
}

TEST_F(MonitorFixture, OptionsCopiesTheSettingsInAndBackOnlyOnOk) {
    SmtpScript script;
    ScriptedSmtpServer smtp(script);
    setenv("SENTREL_SMTP_HOST", "127.0.0.1", 1);
    setenv("SENTREL_SMTP_PORT", std::to_string(smtp.Port()).c_str(), 1);
    CMonitorDlg* dlg =
        OpenWith("interval=9\nbalertwav=0\nbalertemail=0\nemailrcv=old@x.cn\n", {{"/a", "0"}});
    class Edit : public wxExpectDismissableModal<COptionsDlg> {
      public:
        Edit(bool ok)
            : wxExpectDismissableModal<COptionsDlg>(ok ? wxID_OK : wxID_CANCEL), m_bOk(ok) {}

      protected:
        int OnInvoked(COptionsDlg* opt) const override {
            EXPECT_EQ("9", opt->IntervalEdit()->GetValue());
            EXPECT_EQ("old@x.cn", opt->EmailRcvEdit()->GetValue());
            EXPECT_FALSE(opt->EmailRcvEdit()->IsEnabled());
            opt->IntervalEdit()->ChangeValue("3");
            opt->AlertEmailCheck()->SetValue(true);
            opt->OnCheckAlertEmail();
            opt->EmailRcvEdit()->ChangeValue("new@x.cn");
            opt->SendUserEdit()->ChangeValue("Carol@163.com");
            opt->SendPwdEdit()->ChangeValue("pw");
            EXPECT_FALSE(opt->MailOnFailureCheck()->GetValue());
            opt->MailOnFailureCheck()->SetValue(true);
            EXPECT_TRUE(opt->NotifyCheck()->GetValue()) << "desktop notifications start on";
            opt->NotifyCheck()->SetValue(false);
            if (!m_bOk) return wxID_CANCEL;
            opt->OnOK();
            return opt->GetReturnCode();
        }

      private:
        bool m_bOk;
    };
    Press(dlg, IDC_START);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 2) == "监控中"; }));
    wxTEST_DIALOG(dlg->OnOptions(), Edit(false));
    EXPECT_EQ(9, dlg->Values().m_nInterval) << "Cancel leaves all six untouched";
    EXPECT_FALSE(dlg->Values().m_bAlertEmail);
    EXPECT_EQ("old@x.cn", dlg->Values().m_strEmailRcv);

    wxTEST_DIALOG(dlg->OnOptions(), Edit(true));
    EXPECT_EQ(3, dlg->Values().m_nInterval);
    EXPECT_EQ("carol", dlg->Values().m_strSendUser);
    EXPECT_TRUE(dlg->Values().m_bMailOnFailure);
    Mark(dlg, 0);  // the next mark, while the run goes on
    EXPECT_TRUE(WaitFor([&] { return smtp.Connections() == 1; }));
    unsetenv("SENTREL_SMTP_HOST");
    unsetenv("SENTREL_SMTP_PORT");
    Close();
    const std::string ini = ReadFile(Home("sentrel.ini"));
    EXPECT_NE(std::string::npos, ini.find("interval=3\n")) << "stored at exit";
    EXPECT_NE(std::string::npos, ini.find("failafter=2\nbmailfail=1\nbnotify=0\n")) << ini;
}
