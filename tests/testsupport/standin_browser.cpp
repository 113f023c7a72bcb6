// A stand-in for a Chromium-family browser on --remote-debugging-pipe: reads NUL-ended JSON
// commands on descriptor 3 and answers on 4, with the few answers and events a render
// needs. It gives the faults a real browser cannot be made to give, chosen by
// STANDIN_BROWSER_MODE: "ok" (the default), "garbage" (answers the first command with
// something that is no JSON), "hang" (never answers), "crash" (ends at the first command),
// and answers of the wrong shape: "result-array" (a result that is an array), "error-string"
// (an error that is a string), "params-number" (events whose params are a number),
// "html-number" (a document that is a number), "deep" (a document nested a million arrays
// deep), "surrogate" (a document holding half of an emoji, as Chromium writes it).
// STANDIN_BROWSER_LOG names a file each start appends its arguments to, one per line.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define read _read
#define write _write
#else
#include <unistd.h>
#endif

namespace {

using Json = nlohmann::json;

bool SendText(const std::string& text) {
    const std::string bytes = text + '\0';
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = write(4, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool Send(const Json& message) {
    return SendText(message.dump());
}

// The answer to a command, and the events that follow it.
void Answer(const Json& command, const std::string& mode) {
    const std::string method = command.value("method", "");
    const int id = command.value("id", 0);
    Json answer = {{"id", id}, {"result", Json::object()}};
    if (command.contains("sessionId")) answer["sessionId"] = command["sessionId"];
    Json& result = answer["result"];
    if (method == "Target.createBrowserContext") result["browserContextId"] = "context-1";
    if (method == "Target.createTarget") result["targetId"] = "target-1";
    if (method == "Target.attachToTarget") result["sessionId"] = "session-1";
    if (method == "Page.navigate") result["frameId"] = "frame-1";
    if (method == "DOM.getDocument") result["root"] = {{"nodeId", 1}};
    if (method == "DOM.getOuterHTML") {
        const std::string id = std::to_string(command.value("id", 0));
        if (mode == "result-array") return (void)SendText("{\"id\":" + id + ",\"result\":[1,2]}");
        if (mode == "html-number") return (void)SendText("{\"id\":" + id + ",\"result\":{\"outerHTML\":42}}");
        if (mode == "surrogate")
            return (void)SendText("{\"id\":" + id +
                                  ",\"result\":{\"outerHTML\":\"<p>Deal \\ud83d</p><p>Whole \\ud83d\\ude00</p>\"}}");
        if (mode == "deep") {
            std::string deep = "{\"id\":" + id + ",\"result\":{\"outerHTML\":";
            deep.append(1000000, '[');
            deep.append(1000000, ']');
            return (void)SendText(deep + "}}");
        }
        result["outerHTML"] = "<html><body><p>Stand-in page</p></body></html>";
    }
    if (mode == "error-string" && method == "Target.createTarget")
        return (void)SendText("{\"id\":" + std::to_string(id) + ",\"error\":\"no targets today\"}");
    Send(answer);
    if (method == "Page.navigate") {
        const Json params = {{"type", "Document"}, {"frameId", "frame-1"}, {"response", {{"status", 200}}}};
        const Json odd = 5;
        Send({{"method", "Network.responseReceived"}, {"sessionId", "session-1"},
              {"params", mode == "params-number" ? odd : params}});
        Send({{"method", "Page.loadEventFired"}, {"sessionId", "session-1"},
              {"params", mode == "params-number" ? odd : Json::object()}});
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* log = std::getenv("STANDIN_BROWSER_LOG")) {
        std::ofstream out(log, std::ios::app | std::ios::binary);  // LF on every system
        for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
        out << "--\n";
    }
    const char* chosen = std::getenv("STANDIN_BROWSER_MODE");
    const std::string mode = chosen ? chosen : "ok";
    std::string pending;
    char buffer[4096];
    for (;;) {
        const int n = read(3, buffer, sizeof buffer);
        if (n <= 0) return 0;  // the pipe closed: asked to end
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\0')) != std::string::npos) {
            const Json command = Json::parse(pending.substr(0, end), nullptr, false);
            pending.erase(0, end + 1);
            if (mode == "crash") std::_Exit(3);
            if (mode == "garbage") {
                const char nonsense[] = "this is no JSON at all";
                write(4, nonsense, sizeof nonsense);  // with its NUL
                continue;
            }
            if (mode == "hang" || command.is_discarded()) continue;
            Answer(command, mode);
        }
    }
}
