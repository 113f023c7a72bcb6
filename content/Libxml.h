#pragma once
// libxml2 made ready once per process (for every reader of XML in the program), its complaints silenced on
// the calling thread (broken pages are the rule, recovering from them the point).
namespace sentrel {
namespace content {
void PrepareLibxml();
}  // namespace content
}  // namespace sentrel
