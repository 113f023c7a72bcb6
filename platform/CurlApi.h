#pragma once
// libcurl, loaded when the first HTTP session opens rather than when the program starts:
// libcurl brings a TLS stack or two and a dozen libraries with it, and a program that
// sits idle in the tray should not carry them until it watches something.
#include <curl/curl.h>

namespace sentrel {

/// The libcurl calls the probe uses.
struct CurlApi {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    CURLM* (*multi_init)();
    CURLMcode (*multi_cleanup)(CURLM*);
    CURLMcode (*multi_setopt)(CURLM*, CURLMoption, ...);
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, struct curl_waitfd*, unsigned, int, int*);
    CURLMcode (*multi_wakeup)(CURLM*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    CURLU* (*url)();
    void (*url_cleanup)(CURLU*);
    CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned);
    CURLUcode (*url_get)(const CURLU*, CURLUPart, char**, unsigned);
    void (*free)(void*);
};

/// libcurl, loaded and initialised once; nullptr when it cannot be loaded.
const CurlApi* Curl();

}  // namespace sentrel
