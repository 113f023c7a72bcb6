#include "model/CompareOptions.h"

namespace sentrel {

const char* CompareOptions::ModeName(Mode mode) {
    return mode == kText ? "text" : "size";
}

bool CompareOptions::ModeNamed(const std::string& word, Mode& mode) {
    for (Mode m : {kSize, kText})
        if (word == ModeName(m)) {
            mode = m;
            return true;
        }
    return false;
}

std::shared_ptr<const content::PageReader> CompareOptions::Reader(std::string* problem) const {
    if (!Text()) return nullptr;
    auto reader = std::make_shared<content::PageReader>();
    std::string error;
    if (!reader->Set(select, ignore, error)) {
        reader->SetBroken();
        if (problem) *problem = error;
    }
    return reader;
}

}  // namespace sentrel
