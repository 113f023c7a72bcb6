#pragma once
// The English catalog as the build made it, for tests of the program in English.
#include <memory>
#include <string>

#include "base/Translate.h"

namespace sentrel::test {

/// Speaks English until it goes out of scope (Chinese again after); Ok() is false when the
/// build made no catalog to be found.
class InEnglish {
  public:
    InEnglish() {
        auto catalog = std::make_shared<Catalog>();
        std::string error;
        for (const char* dir : {SENTREL_BIN_DIR "/locale", SENTREL_BIN_DIR "/../share/locale"})
            if (catalog->Load(std::string(dir) + "/en/LC_MESSAGES/sentrel.mo", error)) {
                UseCatalog(catalog);
                m_ok = true;
                return;
            }
    }
    ~InEnglish() { UseCatalog(nullptr); }
    InEnglish(const InEnglish&) = delete;
    InEnglish& operator=(const InEnglish&) = delete;
    bool Ok() const { return m_ok; }

  private:
    bool m_ok = false;
};

}  // namespace sentrel::test
