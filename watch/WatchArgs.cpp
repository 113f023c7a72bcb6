#include "watch/WatchArgs.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "base/Settings.h"
#include "base/Translate.h"
#include "store/ShardState.h"

namespace sentrel {

namespace {
const char kAbout[] =
    "Watches every page of the Sentrel list (the same profile as the window) and prints\n"
    "one line per event: a page changed, began to fail, or recovered. SIGTERM, SIGINT or\n"
    "SIGHUP ends it within a second, with the sizes stored; so does the end of its output\n"
    "(sentrel-watch | head -1). Exit status: 0 nothing changed, 1 something changed (with\n"
    "--once), 2 errors (a page failed, the list could not be read or stored, a mail was not\n"
    "sent, bad input), 3 the profile is in use.";
}  // namespace

void Say(const std::string& text) {
    std::fprintf(stderr, "sentrel-watch: %s\n", text.c_str());
}

void Complain(const char* pattern, const std::vector<std::string>& args) {
    Say(Fill(Tr(pattern), args));
}

int Parse(int argc, char** argv, Args& a) {
    CLI::App app(kAbout, "sentrel-watch");
    app.add_flag("--once", a.bOnce, "one pass over the list, then exit");
    app.add_option("--interval", a.nInterval,
                   "seconds between probes of a page, instead of the stored interval")
        ->check(CLI::Range(keys::kInterval.least, keys::kInterval.most));
    app.add_flag("--json", a.bJson,
                 "one JSON object per line: events (time, url, note, kind, old_size, new_size, "
                 "reason; a text row's added and removed lines), or with --list the rows");
    app.add_option("--feed", a.feed,
                   "keep an Atom feed of the last 100 events in this file (replaced whole)");
    CLI::Option* shard = app.add_option(
        "--shard", a.shard,
        "watch only the rows whose URL hashes to shard I of N (I/N or I-N, from 0); N such "
        "processes share one list, each with its own lock and state");
    CLI::Option* list = app.add_flag("--list", a.bList, "print the list and exit");
    CLI::Option* add = app.add_option("--add", a.add, "add a page to the list and exit");
    CLI::Option* remove =
        app.add_option("--remove", a.remove, "remove the rows of this URL from the list and exit");
    app.add_option("--note", a.note, "the added page's note")->needs(add);
    app.add_option("--compare", a.compare, "compare the added page by its size or its text")
        ->check(CLI::IsMember({CompareOptions::ModeName(CompareOptions::kSize),
                               CompareOptions::ModeName(CompareOptions::kText)}))
        ->needs(add);
    app.add_flag("--render", a.bRender,
                 "the added page is rendered by a browser first, its scripts run (implies "
                 "--compare text)")
        ->needs(add);
    app.add_option("--page-interval", a.pageInterval,
                   "the added page's own seconds between probes (default: the program's)")
        ->needs(add);
    app.add_option("--select", a.select,
                   "a text row's region: CSS selector, or XPath starting with / or (")
        ->needs(add);
    app.add_option("--ignore", a.ignore, "a text row's ignore rule: a text, or /regex/")
        ->allow_extra_args(false)  // one rule each: what follows is no rule
        ->needs(add);
    app.add_option("--alert-if", a.alertIf,
                   "a text row's condition for an alert (added:T, removed:T, appears:T, "
                   "disappears:T, below:N, above:N, change:P%; T a text or /regex/); without "
                   "any, every change alerts")
        ->allow_extra_args(false)
        ->needs(add);
    app.add_option("--proxy", a.proxy,
                   "the added page's own proxy: http://, https://, socks5:// or socks5h://, with "
                   "user:password@ if it asks; none: direct (default: the program's proxy)")
        ->needs(add);
    app.add_option("--header", a.headers, "a request header the added page is asked with, 'Name: value'")
        ->allow_extra_args(false)
        ->needs(add);
    app.add_option("--session", a.session,
                   "the added page is rendered in this logged-in session (implies --render)")
        ->needs(add);
    CLI::Option* history =
        app.add_option("--history", a.history, "list the kept versions of a text row's page, newest first");
    CLI::Option* diff = app.add_option(
        "--diff", a.diff, "print the lines that differ between two versions of a text row's page");
    app.add_option("--from", a.nFrom, "the older version --diff compares (default: the one before --to)")
        ->check(CLI::PositiveNumber)
        ->needs(diff);
    app.add_option("--to", a.nTo, "the newer version --diff compares (default: the newest)")
        ->check(CLI::PositiveNumber)
        ->needs(diff);
    app.add_flag("--words", a.bWords, "mark the changed words of a changed line: [-old-]{+new+}")
        ->needs(diff);
    for (CLI::Option* look : {history, diff})
        look->excludes(add)->excludes(remove)->excludes(list)->excludes(shard);
    history->excludes(diff);
    list->excludes(add)->excludes(remove);
    shard->excludes(add)->excludes(remove);
    add->excludes(remove);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        Say(e.what());  // CLI11's own words
        return kExitErrors;
    }
    if (!a.shard.empty() && !ParseShard(a.shard, a.nShard, a.nShards)) {
        Say("--shard: " + a.shard + " is not I/N with 0 <= I < N <= 1000");
        return kExitErrors;
    }
    return -1;
}

}  // namespace sentrel
