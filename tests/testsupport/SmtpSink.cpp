#include "testsupport/SmtpSink.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "testsupport/Process.h"

namespace sentrel::test {

SmtpSink::SmtpSink(const std::string& outFile, const std::string& tls) : m_strOut(outFile) {
    if (access("/usr/bin/python3", X_OK) != 0) return;
    std::vector<std::string> argv = {"/usr/bin/python3",
                                     SENTREL_SOURCE_DIR "/tests/delivery/smtp_sink.py", outFile};
    if (!tls.empty()) argv.push_back(tls);
    m_pid = SpawnReading(argv, &m_fd);
    std::string ready;
    if (m_pid > 0 && ReadLineFrom(m_fd, ready) && ready.rfind("READY ", 0) == 0)
        m_nPort = std::stoi(ready.substr(6));
}

SmtpSink::~SmtpSink() {
    Stop();
}

int SmtpSink::Delivered() const {
    std::ifstream in(m_strOut + ".count");
    int n = 0;
    in >> n;
    return n;
}

int SmtpSink::Stop() {
    int status = -1;
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        status = WaitExit(m_pid, std::chrono::seconds(10));
        if (status < 0) {
            kill(m_pid, SIGKILL);
            WaitExit(m_pid, std::chrono::seconds(5));
        }
        m_pid = -1;
    }
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    return status;
}

}  // namespace sentrel::test
