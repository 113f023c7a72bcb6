#include "probe/ProbeResult.h"

#include "base/Translate.h"
#include "platform/CurlRules.h"

namespace sentrel {

std::string ProbeResult::Reason() const {
    switch (failure) {
        case ProbeFailure::None:
            return std::string();
        case ProbeFailure::HttpStatus:
            return "HTTP " + std::to_string(nHttpStatus);
        case ProbeFailure::TooLarge:
            return Tr("页面过大");
        case ProbeFailure::NoMatch:
            return Tr("选取内容未找到");
        case ProbeFailure::TooComplex:
            return Tr("网页过于复杂");
        case ProbeFailure::SlowRule:
            return Fill(Tr("忽略规则太慢：{0}"), {Detail()});
        case ProbeFailure::NoBrowser:
            return Tr("未找到浏览器（请安装 Chromium、Chrome 或 Edge）");
        case ProbeFailure::BrowserFailed:
            return detail ? Fill(Tr("浏览器出错：{0}"), {*detail}) : Tr("浏览器出错");
        case ProbeFailure::RenderTimeout:
            return Tr("渲染超时");
        case ProbeFailure::NoTextLibrary:
            return Tr("无法载入 libxml2");
        case ProbeFailure::SlowCondition:
            return Fill(Tr("提醒条件太慢：{0}"), {Detail()});
        case ProbeFailure::BadCondition:
            return Detail();
        case ProbeFailure::Proxy:
            return ProxyTrouble{net, nHttpStatus}.Reason();
        case ProbeFailure::Blocked:
            return Tr("被拦截（人机验证）");
        case ProbeFailure::LoginNeeded:
            return Tr("需要重新登录");
        case ProbeFailure::Network:
            break;
    }
    return NetReason(net == NetFailure::None ? NetFailure::Network : net);
}

}  // namespace sentrel
