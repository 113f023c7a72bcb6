#pragma once
#include <sys/types.h>

#include <string>

namespace sentrel::test {

/// A real SMTP server (aiosmtpd, tests/delivery/smtp_sink.py) on 127.0.0.1 that writes the
/// last delivered message to `outFile` and the number delivered to `outFile`.count.
class SmtpSink {
  public:
    /// `tls`: "" (plain, AUTH allowed), "starttls", "implicit" or "plain-only" (no STARTTLS
    /// offered); with TLS the CA is written as ca.pem beside `outFile`.
    explicit SmtpSink(const std::string& outFile, const std::string& tls = std::string());
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    /// False when the server did not start (no python3-aiosmtpd, say).
    bool Ready() const { return m_nPort > 0; }
    std::string Port() const { return std::to_string(m_nPort); }
    int Delivered() const;
    /// Ends the server; its exit status.
    int Stop();

  private:
    std::string m_strOut;
    pid_t m_pid = -1;
    int m_fd = -1;
    int m_nPort = 0;
};

}  // namespace sentrel::test
