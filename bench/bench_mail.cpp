// One full Send against a local scripted SMTP server: CPU time per mail on the sending
// thread, and what reading replies one byte per recv() costs within it.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "BenchUtil.h"
#include "delivery/SmtpClient.h"
#include "testsupport/ScriptedSmtpServer.h"

using namespace sentrel;
using namespace sentrel::test;

int main() {
    SmtpScript script;
    script.ehlo =
        "250-smtp.example\r\n250-PIPELINING\r\n250-AUTH LOGIN PLAIN\r\n250-AUTH=LOGIN PLAIN\r\n"
        "250-coremail 1Uxr2xKj7kG0xkI17xGrU7I0s8FY2U3Uj8Cz28x1UUUUU7Ic2I0Y2UrqrkGlUCa0xDrUUUUj\r\n"
        "250-STARTTLS\r\n250 8BITMIME\r\n";
    const int mails = 300;
    std::size_t replyBytes = 0;
    double cpu = 0, wall = 0;
    for (int i = 0; i < mails; ++i) {
        ScriptedSmtpServer server(script);
        CSmtpClient mail;
        mail.SetServer("127.0.0.1", static_cast<std::uint16_t>(server.Port()));
        mail.SetUserName("alice");
        mail.SetPassword("secret");
        mail.SetFromName("网页更新提醒");
        mail.SetFromAddress("alice@163.com");
        mail.SetReplyAddress("alice@163.com");
        mail.SetSubject("有更新！2026-12-07 08:00:00");
        mail.SetMailerName("Foxmail v6.5");
        mail.SetBody(
            "相关网址：https://www.example.com/news/\r\n更新时间：2026-12-07 "
            "08:00:00\r\n\r\n无需回复本邮件！");
        mail.AddTo("bob@example.com", nullptr);
        double c0 = bench::ThreadCpuSeconds(), t0 = bench::Now();
        if (!mail.Send()) std::fprintf(stderr, "send failed: %d\n", mail.GetError());
        cpu += bench::ThreadCpuSeconds() - c0;
        wall += bench::Now() - t0;
    }
    replyBytes = script.greeting.size() + script.ehlo.size() + script.auth.size() +
                 script.user.size() + script.pass.size() + script.mailFrom.size() + 7 /* 250 OK */ +
                 script.data.size() + script.endData.size() + script.quit.size();

    // What one recv() per byte costs against one recv() for the same bytes.
    int sv[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
    std::string block(replyBytes, 'r');
    char buf[4096];
    const int rounds = 2000;
    double c0 = bench::ThreadCpuSeconds();
    for (int r = 0; r < rounds; ++r) {
        if (write(sv[0], block.data(), block.size()) < 0) return 1;
        for (std::size_t i = 0; i < block.size(); ++i)
            if (recv(sv[1], buf, 1, 0) != 1) return 1;
    }
    double perByteRound = (bench::ThreadCpuSeconds() - c0) / rounds;
    c0 = bench::ThreadCpuSeconds();
    for (int r = 0; r < rounds; ++r) {
        if (write(sv[0], block.data(), block.size()) < 0) return 1;
        if (recv(sv[1], buf, sizeof buf, 0) <= 0) return 1;
    }
    double oneCallRound = (bench::ThreadCpuSeconds() - c0) / rounds;
    std::printf("mail: one Send: %.0f us CPU on the sending thread, %.2f ms wall (mean of %d)\n",
                cpu / mails * 1e6, wall / mails * 1e3, mails);
    std::printf(
        "mail: %zu reply bytes per mail read one per recv(): %.0f us CPU; in one recv(): %.0f us "
        "(byte-wise reading is %.0f%% of the Send's CPU)\n",
        replyBytes, perByteRound * 1e6, oneCallRound * 1e6,
        (perByteRound - oneCallRound) / (cpu / mails) * 100);
}
