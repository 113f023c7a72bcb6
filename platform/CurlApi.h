#pragma once
// libcurl's calls, one way for every program. The window loads libcurl when its first
// HTTP session opens rather than when it starts (sentrel_curl_lazy): libcurl brings a TLS
// stack or two and a dozen libraries with it, and a program that sits idle in the tray
// should not carry them until it watches something. The command-line programs need it on
// every run and link it (sentrel_curl), which costs the loader less.
#include <curl/curl.h>

namespace sentrel {

/// The libcurl calls the probe uses.
struct CurlApi {
    // Each as the header declares it, whatever libcurl's version.
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_cleanup) multi_cleanup;
    decltype(&curl_multi_setopt) multi_setopt;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_wakeup) multi_wakeup;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
    decltype(&curl_url) url;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_url_set) url_set;
    decltype(&curl_url_get) url_get;
    decltype(&curl_free) free;
};

/// libcurl, loaded and initialised once; nullptr when it cannot be loaded.
const CurlApi* Curl();

}  // namespace sentrel
