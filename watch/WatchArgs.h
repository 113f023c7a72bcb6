#pragma once
// sentrel-watch's command line and its words on stderr.
#include <string>
#include <vector>

namespace sentrel {

constexpr int kExitQuiet = 0, kExitChanged = 1, kExitErrors = 2, kExitProfileTaken = 3;

struct Args {
    bool bOnce = false, bJson = false, bList = false, bRender = false;
    int nInterval = 0;
    std::string add, remove;  // a row to add, the URL of rows to remove
    std::string note, compare, select, pageInterval, feed, shard;  // compare: a mode's word
    int nShard = 0, nShards = 0;  // this process's shard of how many (0: the whole list)
    std::vector<std::string> ignore, alertIf;
    std::string proxy, session;          ///< --add's row's own proxy and logged-in session
    std::vector<std::string> headers;    ///< --add's row's own request headers
    std::string history, diff;  // a page whose versions to list, or to compare
    int nFrom = 0, nTo = 0;     // versions to compare (0: the last two)
    bool bWords = false;
};

/// Fills `a` from the command line; an exit status when the program is to end at once
/// (the help, or bad input, told on stderr in one line), else -1.
int Parse(int argc, char** argv, Args& a);

/// One line on stderr, already in the user's language.
void Say(const std::string& text);
/// One line on stderr: `pattern` (Chinese) through the catalog, its {0}, {1}... filled.
void Complain(const char* pattern, const std::vector<std::string>& args = {});

}  // namespace sentrel
