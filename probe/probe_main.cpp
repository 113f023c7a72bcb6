// sentrel-probe [--text [--render] [--select S] [--ignore R]...] URL...: what the watchers
// measure of each page, through the same code as the watchers: its size in bytes, one line
// per URL (0 when none can be measured), or with --text the text a text row compares (of
// the page as a browser leaves it once its scripts ran, with --render).
#include <CLI/CLI.hpp>

#include <cstdio>

#include "content/PageText.h"
#include "platform/TextRules.h"
#include "probe/Renderer.h"
#include "probe/WatchThread.h"
#include "support/CCore.h"

int main(int argc, char** argv) {
    CLI::App app("Prints what monitoring measures of each page, in the order given: its size "
                 "in bytes (0 when none can be measured), or with --text the text that a text "
                 "row compares. A page that fails is named on stderr.",
                 "sentrel-probe");
    bool text = false, render = false;
    std::string select;
    std::vector<std::string> ignore, urls;
    app.add_flag("--text", text, "print the page's text as a text row compares it");
    CLI::Option* textFlag = app.get_option("--text");
    app.add_option("--select", select, "a region: CSS selector, or XPath starting with / or (")
        ->needs(textFlag);
    app.add_flag("--render", render,
                 "run the page's scripts in a browser first (Chromium, Chrome or Edge; "
                 "$SENTREL_BROWSER names one)")
        ->needs(textFlag);
    app.add_option("--ignore", ignore, "drop lines containing this text, or matching /regex/")
        ->allow_extra_args(false)  // one rule each: what follows is no rule
        ->needs(textFlag);
    app.add_option("URL", urls, "pages to probe")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "sentrel-probe: %s\n", e.what());
        return 2;
    }
    // The reasons it prints speak the language the other programs speak: the setting in
    // the profile's sentrel.ini, else the system's.
    sentrel::CCore core;
    core.UseChosenLanguage();
    sentrel::content::PageReader reader;
    if (text) {
        std::string rules, error;
        for (const std::string& r : ignore) rules += r + "\n";
        if (!reader.Set(select, rules, error)) {
            std::fprintf(stderr, "sentrel-probe: %s\n", error.c_str());
            return 2;
        }
    }
    sentrel::CWatchThread probe;
    if (!probe.OpenSession()) {
        std::fprintf(stderr, "sentrel-probe: cannot open an HTTP session\n");
        return 1;
    }
    if (!text) {
        for (const std::string& url : urls) {
            std::printf("%d\n", probe.GetPageSize(url.c_str()));
            std::fflush(stdout);
        }
        return 0;
    }
    probe.SetReader(&reader);
    probe.SetRender(render);
    int status = 0;
    for (const std::string& url : urls) {
        const sentrel::ProbeResult result = probe.Probe(url.c_str(), nullptr);
        if (!result.Ok()) {
            std::fprintf(stderr, "sentrel-probe: %s: %s\n", sentrel::WithoutPassword(url).c_str(),
                         result.Reason().c_str());
            status = render ? 2 : status;
            continue;
        }
        std::fwrite(result.text->data(), 1, result.text->size(), stdout);
        std::fflush(stdout);
    }
    sentrel::Renderer::Shared().Shutdown();
    return status;
}
