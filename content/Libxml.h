#pragma once
// Inside this module: libxml2 made ready once per process, its complaints silenced on
// the calling thread (broken pages are the rule, recovering from them the point).
namespace sentrel {
namespace content {
void PrepareLibxml();
}  // namespace content
}  // namespace sentrel
