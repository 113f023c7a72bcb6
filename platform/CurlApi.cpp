#include "platform/CurlApi.h"

#include <mutex>

#ifdef SENTREL_LAZY_CURL
#include "platform/LazyLibrary.h"
#endif

namespace sentrel {

namespace {

#ifdef SENTREL_LAZY_CURL
bool Load(CurlApi& api) {
    LazyLibrary lib("libcurl.so.4");
#define SENTREL_BIND(f) lib.Bind(api.f, "curl_" #f)
#else
bool Load(CurlApi& api) {
    bool ok = true;
#define SENTREL_BIND(f) (api.f = &curl_##f)
#endif
    SENTREL_BIND(global_init);
    SENTREL_BIND(easy_init);
    SENTREL_BIND(easy_cleanup);
    SENTREL_BIND(easy_perform);
    SENTREL_BIND(easy_setopt);
    SENTREL_BIND(easy_getinfo);
    SENTREL_BIND(multi_init);
    SENTREL_BIND(multi_cleanup);
    SENTREL_BIND(multi_setopt);
    SENTREL_BIND(multi_add_handle);
    SENTREL_BIND(multi_remove_handle);
    SENTREL_BIND(multi_perform);
    SENTREL_BIND(multi_info_read);
    SENTREL_BIND(multi_poll);
    SENTREL_BIND(multi_wakeup);
    SENTREL_BIND(slist_append);
    SENTREL_BIND(slist_free_all);
    SENTREL_BIND(url);
    SENTREL_BIND(url_cleanup);
    SENTREL_BIND(url_set);
    SENTREL_BIND(url_get);
    SENTREL_BIND(free);
#undef SENTREL_BIND
#ifdef SENTREL_LAZY_CURL
    const bool ok = lib.Ok();
#endif
    return ok && api.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

}  // namespace

const CurlApi* Curl() {
    static CurlApi api{};
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] { loaded = Load(api); });
    return loaded ? &api : nullptr;
}

}  // namespace sentrel
