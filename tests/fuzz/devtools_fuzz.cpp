// A browser's message: any bytes are read as an answer, an event or why they are neither,
// and every field the renderer reads comes out of the typed readers without an exception.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "probe/DevToolsMessage.h"

using namespace sentrel::devtools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Message m = Read(std::string(reinterpret_cast<const char*>(data), size));
    if (!m.body.is_object()) std::abort();
    if (m.kind == Message::Kind::Invalid && m.problem.empty()) std::abort();  // says why
    // The fields of the renderer's answers and events.
    for (const char* key : {"browserContextId", "targetId", "sessionId", "frameId", "errorText", "requestId",
                            "type", "outerHTML"})
        (void)Str(m.body, key);
    (void)Int(Obj(m.body, "root"), "nodeId");
    (void)Int(Obj(m.body, "response"), "status");
    (void)Str(Obj(m.body, "targetInfo"), "browserContextId");
    std::string value, problem;
    if (!NeedStr(m.body, "targetId", "Target.createTarget", value, problem) && problem.empty()) std::abort();
    // What is read can be copied and written again: no depth beyond the bound survives.
    const Json copy = m.body;
    (void)copy.dump();
    return 0;
}
