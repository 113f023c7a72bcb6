#include "ProbeResult.h"

namespace sentrel {

namespace {
// A failure travels as -(kind * kStatusRange + status), below every size.
constexpr std::intptr_t kStatusRange = 1000;
}  // namespace

std::intptr_t ProbeResult::Encode() const {
    if (Ok()) return nSize < 0 ? 0 : nSize;
    const int status = nHttpStatus > 0 && nHttpStatus < kStatusRange ? nHttpStatus : 0;
    return -(static_cast<std::intptr_t>(failure) * kStatusRange + status);
}

ProbeResult ProbeResult::Decode(std::intptr_t value) {
    if (value >= 0) return Size(static_cast<int>(value));
    const std::intptr_t v = -value;
    const auto kind = static_cast<int>(v / kStatusRange);
    if (kind <= 0 || kind > static_cast<int>(ProbeFailure::Network))
        return Failed(ProbeFailure::Network);
    return Failed(static_cast<ProbeFailure>(kind), static_cast<int>(v % kStatusRange));
}

std::string ProbeResult::Reason() const {
    switch (failure) {
        case ProbeFailure::None:
            return std::string();
        case ProbeFailure::HttpStatus:
            return "HTTP " + std::to_string(nHttpStatus);
        case ProbeFailure::Refused:
            return "连接被拒绝";
        case ProbeFailure::Timeout:
            return "超时";
        case ProbeFailure::Resolve:
            return "无法解析域名";
        case ProbeFailure::Tls:
            return "证书无效";
        case ProbeFailure::TooManyRedirects:
            return "重定向过多";
        case ProbeFailure::Network:
            break;
    }
    return "网络错误";
}

}  // namespace sentrel
