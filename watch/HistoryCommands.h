#pragma once
// sentrel-watch's commands on a text row's kept versions: --history and --diff.
#include "store/ListFile.h"
#include "watch/WatchArgs.h"

namespace sentrel {

/// --history URL [--json]: the page's versions, newest first; the exit status.
int History(const ListFile& list, const Args& args);
/// --diff URL [--from N] [--to M] [--words]: what went and came between two versions.
int Diff(const ListFile& list, const Args& args);

}  // namespace sentrel
