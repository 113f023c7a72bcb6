// The SMTP dialogue against a scripted server on 127.0.0.1: exact bytes and error codes.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "delivery/SmtpClient.h"
#include "testsupport/ScriptedSmtpServer.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

struct Outcome {
    bool ok = false;
    int error = -1;
    std::string transcript;
    int connections = 0;
    bool closed = false;  // the client's connection ended with the Send
    std::vector<std::string> capabilities;
};

// Fills a typical mail, lets `adjust` change it, sends it to a server playing `script`.
Outcome Deliver(const SmtpScript& script, const std::function<void(CSmtpClient&)>& adjust = {}) {
    ScriptedSmtpServer server(script);
    Outcome out;
    {
        CSmtpClient mail;
        EXPECT_EQ(0, mail.GetError());
        mail.SetServer("127.0.0.1", static_cast<std::uint16_t>(server.Port()));
        mail.SetTimeouts(2000, 2000);
        mail.SetUserName("alice");
        mail.SetPassword("s3cret");
        mail.SetFromName("Alice");
        mail.SetFromAddress("alice@163.com");
        mail.SetReplyAddress("reply@163.com");
        mail.SetSubject("Hello");
        mail.SetMailerName("Foxmail v6.5");
        mail.SetBody("line one\r\nline two");
        mail.AddTo("bob@example.com", nullptr);
        if (adjust) adjust(mail);
        out.ok = mail.Send();
        out.error = mail.GetError();
        out.capabilities = mail.Capabilities();
        // Checked while the client object still lives: the socket must be closed already.
        out.closed = server.Connections() == 0 || server.ConnectionEnded(std::chrono::seconds(2));
    }
    out.connections = server.Connections();
    if (out.connections) out.transcript = server.Transcript();
    return out;
}

std::string HostName() {
    char name[256] = {0};
    SocketHostName(name, sizeof name);
    return name;
}

// The Date line varies; it is checked by pattern and then taken out.
std::string WithoutDate(const std::string& t) {
    static const std::regex date(
        "Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [0-3][0-9] "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9][0-9] "
        "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] \\+0000\r\n");
    static const std::regex id("Message-ID: <[0-9a-f]{16}\\.[0-9]+@[^>]+>\r\n");
    return std::regex_replace(std::regex_replace(t, date, "Date: *\r\n"), id, "Message-ID: *\r\n");
}

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

}  // namespace

TEST(SmtpClient, FullDialogueByteForByte) {
    Outcome o =
        Deliver(SmtpScript{}, [](CSmtpClient& m) { m.AddTo("carol@example.com", "Carol"); });
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(0, o.error);
    std::string expected = "EHLO " + HostName() + "\r\n" +
                           "AUTH LOGIN\r\n"
                           "YWxpY2U=\r\n"
                           "czNjcmV0\r\n"
                           "MAIL FROM:<alice@163.com>\r\n"
                           "RCPT TO:<bob@example.com>\r\n"
                           "RCPT TO:<carol@example.com>\r\n"
                           "DATA\r\n"
                           "Date: *\r\n"
                           "From: Alice <alice@163.com>\r\n"
                           "X-Mailer: Foxmail v6.5\r\n"
                           "Reply-To: reply@163.com\r\n"
                           "X-Priority: 3 (Normal)\r\n"
                           "To: <bob@example.com>,Carol<carol@example.com>\r\n"
                           "Subject: Hello\r\n"
                           "Message-ID: *\r\n"
                           "MIME-Version: 1.0\r\n"
                           "Content-Type: text/plain; charset=UTF-8\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n"
                           "\r\n"
                           "line one\r\nline two\r\n"
                           "\r\n.\r\n"
                           "QUIT\r\n";
    EXPECT_EQ(expected, WithoutDate(o.transcript));
}

TEST(SmtpClient, HeaderVariants) {
    Outcome noName = Deliver(SmtpScript{}, [](CSmtpClient& m) { m.SetFromName(nullptr); });
    EXPECT_TRUE(Contains(noName.transcript, "\r\nFrom:  <alice@163.com>\r\n"));

    Outcome noSubject = Deliver(SmtpScript{}, [](CSmtpClient& m) { m.SetSubject(nullptr); });
    EXPECT_TRUE(noSubject.ok) << "a missing subject is no failure";
    EXPECT_EQ(CSmtpClient::kNoSubject, noSubject.error);
    EXPECT_TRUE(Contains(WithoutDate(noSubject.transcript), "\r\nSubject:  \r\nMessage-ID: *\r\n"));

    Outcome bare = Deliver(SmtpScript{}, [](CSmtpClient& m) {
        m.SetMailerName(nullptr);
        m.SetReplyAddress(nullptr);
    });
    EXPECT_FALSE(Contains(bare.transcript, "X-Mailer"));
    EXPECT_FALSE(Contains(bare.transcript, "Reply-To"));

    const char* lines[] = {"",
                           "X-Priority: 3 (Normal)",
                           "X-Priority: 2 (High)",
                           "X-Priority: 3 (Normal)",
                           "X-Priority: 4 (Low)",
                           "X-Priority: 3 (Normal)"};
    for (int p = 1; p <= 5; ++p) {
        Outcome o = Deliver(SmtpScript{}, [p](CSmtpClient& m) { m.SetPriority(p); });
        EXPECT_TRUE(Contains(o.transcript, std::string("\r\n") + lines[p] + "\r\n")) << p;
    }
}

TEST(SmtpClient, RecipientsRefused) {
    SmtpScript oneRefused;
    oneRefused.rcpt = {"550 No such user\r\n", "250 OK\r\n"};
    Outcome o = Deliver(oneRefused, [](CSmtpClient& m) { m.AddTo("carol@example.com", ""); });
    EXPECT_TRUE(o.ok) << "delivered to the other recipient";
    EXPECT_EQ(CSmtpClient::kRecipientRefused, o.error);
    EXPECT_TRUE(Contains(o.transcript, "DATA\r\n"));

    SmtpScript allRefused;
    allRefused.rcpt = {"550 No\r\n", "550 No\r\n"};
    o = Deliver(allRefused, [](CSmtpClient& m) { m.AddTo("carol@example.com", ""); });
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(CSmtpClient::kRecipientRefused, o.error);
    EXPECT_FALSE(Contains(o.transcript, "DATA"));
    EXPECT_FALSE(Contains(o.transcript, "QUIT"));
}

TEST(SmtpClient, EachStepHasItsErrorCode) {
    struct Case {
        const char* name;
        std::function<void(SmtpScript&)> script;
        int error;
    } cases[] = {
        {"greeting not 220", [](SmtpScript& s) { s.greeting = "554 go away\r\n"; }, 401},
        {"EHLO refused", [](SmtpScript& s) { s.ehlo = "502 no\r\n"; }, 301},
        {"AUTH LOGIN refused", [](SmtpScript& s) { s.auth = "503 bad sequence\r\n"; }, 302},
        {"user name not taken", [](SmtpScript& s) { s.user = "501 bad\r\n"; }, 406},
        {"wrong password", [](SmtpScript& s) { s.pass = "535 auth failed\r\n"; }, 405},
        {"odd answer to password", [](SmtpScript& s) { s.pass = "454 later\r\n"; }, 406},
        {"MAIL FROM refused", [](SmtpScript& s) { s.mailFrom = "553 no\r\n"; }, 300},
        {"DATA refused", [](SmtpScript& s) { s.data = "554 no\r\n"; }, 303},
        {"message refused", [](SmtpScript& s) { s.endData = "552 too big\r\n"; }, 306},
        {"QUIT not 221", [](SmtpScript& s) { s.quit = "250 whatever\r\n"; }, 304},
        {"closed after greeting", [](SmtpScript& s) { s.closeAfterGreeting = true; }, 400},
        {"closed during AUTH", [](SmtpScript& s) { s.auth = ""; }, 400},
    };
    for (const Case& c : cases) {
        SmtpScript s;
        c.script(s);
        Outcome o = Deliver(s);
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_EQ(c.error, o.error) << c.name;
        EXPECT_EQ(1, o.connections) << c.name;
        EXPECT_TRUE(o.closed) << c.name << ": the socket is closed on the failure path";
    }
}

TEST(SmtpClient, ReplyLinesAreBoundedByTheBuffer) {
    SmtpScript tooLong;
    tooLong.greeting = std::string(10239, '2');  // 10,239 bytes and no LF
    EXPECT_EQ(CSmtpClient::kNoMemory, Deliver(tooLong).error);

    SmtpScript longest;
    longest.greeting = "220 " + std::string(10239 - 6, 'x') + "\r\n";  // 10,239 with its LF
    EXPECT_TRUE(Deliver(longest).ok);
}

TEST(SmtpClient, RepliesAreReadWholeUpTo100Lines) {
    auto ehloWith = [](int lines) {
        std::string r = "250-first\r\n";
        for (int i = 2; i < lines; ++i) r += "250-CAP" + std::to_string(i) + "\r\n";
        return r + "250 auth login\r\n";
    };
    SmtpScript hundredOne;
    hundredOne.ehlo = ehloWith(101);
    EXPECT_EQ(CSmtpClient::kTooManyLines, Deliver(hundredOne).error);
    SmtpScript hundred;
    hundred.ehlo = ehloWith(100);
    EXPECT_TRUE(Deliver(hundred).ok);

    // A greeting in two lines is one reply; the EHLO reply's extensions are kept.
    SmtpScript twoLines;
    twoLines.greeting = "220-smtp.example.com\r\n220 ready\r\n";
    twoLines.ehlo = "250-smtp.example.com\r\n250-STARTTLS\r\n250 Auth Login Plain\r\n";
    Outcome o = Deliver(twoLines);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ((std::vector<std::string>{"STARTTLS", "AUTH LOGIN PLAIN"}), o.capabilities);
}

TEST(SmtpClient, HeadersStayAsciiAndTheBodyTravelsIntact) {
    Outcome o = Deliver(SmtpScript{}, [](CSmtpClient& m) {
        m.SetFromName("网页更新提醒");
        m.SetSubject("有更新！2026-12-07 09:05:03");
        m.SetBody(".hidden\r\nline\r\n.");
    });
    EXPECT_TRUE(Contains(o.transcript, "From: =?UTF-8?B?" + EncodeBase64("网页更新提醒") +
                                           "?= <alice@163.com>\r\n"));
    EXPECT_TRUE(Contains(o.transcript, "Subject: =?UTF-8?B?" +
                                           EncodeBase64("有更新！2026-12-07 09:05:03") + "?=\r\n"));
    EXPECT_TRUE(Contains(o.transcript, "\r\n\r\n..hidden\r\nline\r\n..\r\n\r\n.\r\n"))
        << "a line starting with a dot is doubled";
    // A long text is cut into words of at most 75 characters, between characters.
    std::string text = "a";
    for (int i = 0; i < 60; ++i) text += "网";
    const std::string folded = EncodeHeaderText(text);
    EXPECT_EQ(0u,
              folded.find("=?UTF-8?B?" + EncodeBase64(text.substr(0, 43)) + "?=\r\n =?UTF-8?B?"))
        << folded;
    for (std::size_t at = 0, end; at < folded.size(); at = end + 3) {
        end = std::min(folded.find("\r\n ", at), folded.size());
        EXPECT_LE(end - at, 75u);
    }

    const std::string longLine(1200, 'u');
    Outcome b = Deliver(SmtpScript{}, [&](CSmtpClient& m) { m.SetBody(longLine.c_str()); });
    EXPECT_TRUE(Contains(b.transcript, "Content-Transfer-Encoding: base64\r\n\r\n" +
                                           EncodeBase64(longLine).substr(0, 76) + "\r\n"));
}

TEST(SmtpClient, MessagesTooLargeForTheBufferAreRefusedBeforeConnecting) {
    // Text lines of 100 bytes, which travel as 8bit, cut to n bytes.
    auto lines = [](std::size_t n) {
        std::string s;
        while (s.size() < n) s += std::string(98, 'b') + "\r\n";
        s.resize(n);
        return s;
    };
    Outcome body = Deliver(SmtpScript{}, [&](CSmtpClient& m) { m.SetBody(lines(10238).c_str()); });
    EXPECT_FALSE(body.ok);
    EXPECT_EQ(CSmtpClient::kTooLarge, body.error);
    EXPECT_EQ(0, body.connections);

    Outcome subject = Deliver(
        SmtpScript{}, [](CSmtpClient& m) { m.SetSubject(std::string(10300, 's').c_str()); });
    EXPECT_EQ(CSmtpClient::kTooLarge, subject.error);
    EXPECT_EQ(0, subject.connections);

    Outcome fits = Deliver(SmtpScript{}, [&](CSmtpClient& m) { m.SetBody(lines(10237).c_str()); });
    EXPECT_TRUE(fits.ok);
    EXPECT_TRUE(Contains(fits.transcript, lines(10237) + "\r\n\r\n.\r\n"));
}

TEST(SmtpClient, SettersAndBuildHeaderFailures) {
    CSmtpClient mail;
    EXPECT_FALSE(mail.AddTo(nullptr, "x"));
    EXPECT_EQ(CSmtpClient::kNoToAddress, mail.GetError());

    char buffer[CSmtpClient::kBufferSize];
    CSmtpClient empty;
    EXPECT_FALSE(empty.BuildHeader(buffer));
    EXPECT_EQ(CSmtpClient::kNoRecipients, empty.GetError());
    empty.AddTo("a@b", nullptr);
    EXPECT_FALSE(empty.BuildHeader(buffer));
    EXPECT_EQ(CSmtpClient::kNoSender, empty.GetError());
}

TEST(SmtpClient, EmptyToListEndsAfterTheEnvelope) {
    ScriptedSmtpServer server(SmtpScript{});
    CSmtpClient mail;
    mail.SetServer("127.0.0.1", static_cast<std::uint16_t>(server.Port()));
    mail.SetUserName("a");
    mail.SetPassword("b");
    mail.SetFromAddress("a@163.com");
    mail.SetSubject("s");
    mail.SetBody("b");
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(0, mail.GetError());
    std::string t = server.Transcript();
    EXPECT_TRUE(Contains(t, "MAIL FROM:<a@163.com>\r\n"));
    EXPECT_FALSE(Contains(t, "DATA"));
}

TEST(SmtpClient, MailDateIsEnglishUtcWithItsZone) {
    EXPECT_EQ("Sun, 06 Dec 2026 09:05:03 +0000", FormatMailDate(1796547903));
    EXPECT_EQ("Thu, 01 Jan 1970 00:00:00 +0000", FormatMailDate(0));
}

TEST(SmtpClient, OnlyThreeDigitsAndASeparatorMakeAReplyCode) {
    // Read as 220 or 250 by arithmetic on any bytes, these would pass for valid replies.
    for (const char* greeting :
         {"21: hello\r\n", "22\r\n", "2:0 ready\r\n", "2200 ready\r\n", "220x ready\r\n", "\r\n"}) {
        SmtpScript s;
        s.greeting = greeting;
        Outcome o = Deliver(s);
        EXPECT_FALSE(o.ok) << greeting;
        EXPECT_EQ(401, o.error) << greeting;
    }
    SmtpScript dash;
    dash.ehlo = "250-test.local\r\n250-AUTH LOGIN\r\n250 OK\r\n";
    EXPECT_TRUE(Deliver(dash).ok) << "a hyphen continues a reply";
    SmtpScript bare;
    bare.quit = "221\r\n";
    EXPECT_TRUE(Deliver(bare).ok) << "a code that ends the line is a reply";
}
