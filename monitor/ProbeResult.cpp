#include "ProbeResult.h"

namespace sentrel {

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
        case ProbeFailure::TooLarge:
            return "页面过大";
        case ProbeFailure::NoMatch:
            return "选取内容未找到";
        case ProbeFailure::Network:
            break;
    }
    return "网络错误";
}

}  // namespace sentrel
