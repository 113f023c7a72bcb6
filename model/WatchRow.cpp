#include "model/WatchRow.h"

#include "base/Translate.h"

namespace sentrel {

const content::LineChanges& WatchRow::Changes() const {
    static const content::LineChanges kNone;
    return change ? *change : kNone;
}

std::string WatchRow::StatusText() const {
    switch (status) {
        case RowStatus::None:
            return std::string();
        case RowStatus::Watching:
            return Tr("监控中");
        case RowStatus::Changed:
            return because.empty() ? Tr("有更新！") : Fill(Tr("有更新！（条件：{0}）"), {because});
        case RowStatus::Failing:
            return Tr("访问失败：") + lastFailure.Reason();
        case RowStatus::Recovered:
            return Tr("已恢复");
        case RowStatus::Stopping:
            return Tr("等待停止...");
        case RowStatus::Stopped:
            return Tr("停止");
        case RowStatus::NetworkFailed:
            return Tr("网络失败！");
    }
    return std::string();
}

}  // namespace sentrel
