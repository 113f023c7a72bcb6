// Reading SMTP replies through a socket pair: every line is exactly the bytes up to the
// next LF, a line that does not fit the buffer is refused, and a reply code is three
// digits and a separator.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "delivery/SmtpConnection.h"

using namespace sentrel;

namespace {

int ModelCode(const char* b) {
    for (int i = 0; i < 3; ++i)
        if (b[i] < '0' || b[i] > '9') return -1;
    if (std::strchr(" -\r\n", b[3]) == nullptr) return -1;  // also matches the NUL
    return (b[0] - '0') * 100 + (b[1] - '0') * 10 + (b[2] - '0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 60000) return 0;  // the whole input fits the pair's buffer
    const std::size_t bufSize = (data[0] & 1) ? 10240 : 2 + data[0] % 40;
    const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) __builtin_trap();
    int sndbuf = 256 * 1024;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    if (!in.empty() && write(pair[1], in.data(), in.size()) != static_cast<ssize_t>(in.size()))
        __builtin_trap();
    close(pair[1]);

    CSmtpConnection connection;
    connection.Adopt(pair[0], 1000);
    std::vector<char> buf(bufSize);
    std::size_t pos = 0;
    for (;;) {
        int rc = connection.ReadLine(buf.data(), buf.size());
        if (pos == in.size()) {
            if (rc != SmtpErrors::kClosedEarly) __builtin_trap();
            break;
        }
        std::size_t nl = in.find('\n', pos);
        std::size_t len = nl == std::string::npos ? in.size() - pos : nl - pos + 1;
        // A line ended by LF needs its bytes and the NUL; one ended by the close also needs
        // one more turn of the loop to see the close.
        bool fits = nl != std::string::npos ? len + 1 <= bufSize : len + 2 <= bufSize;
        if (!fits) {
            if (rc != SmtpErrors::kNoMemory) __builtin_trap();
            break;
        }
        if (rc != SmtpErrors::kOk) __builtin_trap();
        if (std::memcmp(buf.data(), in.data() + pos, len) != 0 || buf[len] != '\0')
            __builtin_trap();
        if (SmtpReplyCode(buf.data()) != ModelCode(buf.data())) __builtin_trap();
        pos += len;
    }
    return 0;
}
