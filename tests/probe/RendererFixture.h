#pragma once
// What the renderer's tests share: short bounds, the stand-in browser, the text a row reads
// of a rendered document, and an environment variable set for a test's length.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "content/PageText.h"
#include "probe/Renderer.h"
#include "testsupport/Sanitized.h"
#include "testsupport/TempDir.h"

namespace sentrel {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#ifdef _WIN32
inline const std::string kStandIn = SENTREL_BIN_DIR "/standin-browser.exe";
#else
inline const std::string kStandIn = SENTREL_BIN_DIR "/standin-browser";
#endif

// Short bounds, so that a page that never settles is shown to end in seconds.
inline Renderer::Bounds ShortBounds() {
    Renderer::Bounds b;
    b.load = 4s;
    b.quiet = 400ms;
    b.settle = 2s;
    b.command = 2s;
    if (test::kSanitized) b.memory = 0;
    return b;
}

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The text a text row compares of what the renderer gave.
inline std::string TextOf(const std::string& html) {
    content::PageReader reader;
    std::string text;
    reader.Read("text/html; charset=utf-8", html, text, content::ReadBounds{}, nullptr);
    return text;
}

// The environment a test sets, put back after it.
class EnvScope {
  public:
    EnvScope(const std::string& name, const std::string& value) : m_name(name) { test::SetEnv(name, value); }
    ~EnvScope() { test::UnsetEnv(m_name); }

  private:
    std::string m_name;
};

}  // namespace sentrel
