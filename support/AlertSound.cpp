#include "support/AlertSound.h"

#include "base/Translate.h"
#include "platform/Files.h"

namespace sentrel {

std::string SoundFileProblem(const std::string& path) {
    // Looked at without opening: opening a FIFO waits for a writer.
    switch (fs::KindOf(path)) {
        case fs::Kind::kMissing:
            return std::string();
        case fs::Kind::kFile:
            return fs::SizeOf(path) > kMaxSoundBytes ? Tr("大于 16 MB") : std::string();
        default:
            return Tr("不是普通文件");
    }
}

}  // namespace sentrel
