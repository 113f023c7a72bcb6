#pragma once
// sentrel-watch's commands on the list: --list, --add and --remove.
#include "watch/WatchArgs.h"
#include "watch/WatchProfile.h"

namespace sentrel {

/// --list [--json]: the rows, one a line (or a JSON object each); the exit status.
int ListRows(WatchProfile& profile, const Args& args);
/// --add and --remove: the list changed as the window's dialog would change it; the exit
/// status.
int EditList(WatchProfile& profile, const Args& args);

}  // namespace sentrel
