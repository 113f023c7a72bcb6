#include "ProbeResult.h"

#include "Translate.h"

namespace sentrel {

std::string ProbeResult::Reason() const {
    switch (failure) {
        case ProbeFailure::None:
            return std::string();
        case ProbeFailure::HttpStatus:
            return "HTTP " + std::to_string(nHttpStatus);
        case ProbeFailure::Refused:
            return Tr("连接被拒绝");
        case ProbeFailure::Timeout:
            return Tr("超时");
        case ProbeFailure::Resolve:
            return Tr("无法解析域名");
        case ProbeFailure::Tls:
            return Tr("证书无效");
        case ProbeFailure::TooManyRedirects:
            return Tr("重定向过多");
        case ProbeFailure::TooLarge:
            return Tr("页面过大");
        case ProbeFailure::NoMatch:
            return Tr("选取内容未找到");
        case ProbeFailure::TooComplex:
            return Tr("网页过于复杂");
        case ProbeFailure::SlowRule:
            return Fill(Tr("忽略规则太慢：{0}"), {detail});
        case ProbeFailure::Network:
            break;
    }
    return Tr("网络错误");
}

}  // namespace sentrel
