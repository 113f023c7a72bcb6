#pragma once
// Inside the renderer: one running browser, as the renderer's start and its pages hold it.
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "probe/DevTools.h"
#include "probe/Renderer.h"

namespace sentrel {

struct Renderer::Browser {
    // Each context's page (empty until it shows), for the browser's event handler, which
    // must not keep the browser itself.
    struct Contexts {
        std::mutex mutex;
        std::map<std::string, std::string> pages;
    };
    std::unique_ptr<DevTools> tools;
    std::string profile;
    std::shared_ptr<Contexts> contexts = std::make_shared<Contexts>();
    int pages = 0;  // rendered so far, under the renderer's lock
    ~Browser() {
        tools.reset();  // the browser ends first: then its profile can go
        std::error_code ec;
        if (!profile.empty()) std::filesystem::remove_all(std::filesystem::u8path(profile), ec);
    }
};

}  // namespace sentrel
