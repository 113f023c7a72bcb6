#include <libsecret/secret.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/Translate.h"
#include "platform/Keyring.h"
#include "platform/LazyLibrary.h"

namespace sentrel {

namespace {

// libsecret (and GLib's calls through it) is loaded at the first call: most runs never
// touch the keyring, and it brings GLib, GIO and libgcrypt with it.
// clang-format off
#define SENTREL_SECRET_CALLS(X) \
    X(g_cancellable_new) X(g_cancellable_cancel) X(g_object_unref) X(g_error_matches)      \
    X(g_clear_error) X(g_io_error_quark) X(g_dbus_error_quark) X(secret_password_lookup_sync) \
    X(secret_password_store_sync) X(secret_password_clear_sync) X(secret_password_free)
// clang-format on

struct SecretApi {
    SENTREL_SECRET_CALLS(SENTREL_API_MEMBER)
};

// libsecret, loaded once; nullptr when it cannot be loaded (the keyring is then missing).
const SecretApi* Secret() {
    return LoadOnce<SecretApi>("libsecret-1.so.0", [](LazyLibrary& lib, SecretApi& api) {
        SENTREL_SECRET_CALLS(SENTREL_API_BIND)
    });
}

constexpr const char* kNoLibsecret = "libsecret could not be loaded";

const SecretSchema* Schema() {
    static const SecretSchema schema = {"com.halvex.Sentrel.Smtp",
                                        SECRET_SCHEMA_NONE,
                                        {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

// Until when calls are answered at once as unanswered, after a keyring fell silent.
std::atomic<std::chrono::steady_clock::rep> g_silentUntil{0};
constexpr auto kSilenceMemo = std::chrono::minutes(1);

bool Silent() {
    return std::chrono::steady_clock::now().time_since_epoch().count() < g_silentUntil.load();
}

// One libsecret call on a thread of its own, given up (cancelled) after `bound`. The call
// sets `error` (owned by the caller once the call has finished).
struct Call {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    GError* error = nullptr;
    std::string text;  // a looked-up password
    bool found = false;
};

// The finished call, or null when the keyring did not answer in time.
std::shared_ptr<Call> Run(const SecretApi& api,
                          const std::function<void(GCancellable*, Call&)>& work,
                          std::chrono::milliseconds bound) {
    if (Silent()) return nullptr;
    GCancellable* cancel = api.g_cancellable_new();
    auto call = std::make_shared<Call>();
    std::thread worker([call, cancel, work, &api] {
        work(cancel, *call);
        api.g_object_unref(cancel);
        std::lock_guard<std::mutex> lock(call->mutex);
        call->finished = true;
        call->done.notify_all();
    });
    std::unique_lock<std::mutex> lock(call->mutex);
    if (!call->done.wait_for(lock, bound, [&] { return call->finished; })) {
        api.g_cancellable_cancel(cancel);  // the service never answered: the call is given up
        g_silentUntil =
            (std::chrono::steady_clock::now() + kSilenceMemo).time_since_epoch().count();
        // A cancelled call ends at once; one that does not is left behind, holding its own.
        const bool ended =
            call->done.wait_for(lock, std::chrono::seconds(1), [&] { return call->finished; });
        lock.unlock();
        if (ended)
            worker.join();
        else
            worker.detach();
        return nullptr;
    }
    lock.unlock();
    worker.join();
    return call;
}

// The answer of a finished call: a refusal, or `ok`.
KeyringAnswer Classify(const SecretApi& api, Call& call, std::string& why, KeyringAnswer ok) {
    if (!call.error) return ok;
    why = call.error->message;
    const GQuark io = api.g_io_error_quark(), dbus = api.g_dbus_error_quark();
    const bool silent = api.g_error_matches(call.error, io, G_IO_ERROR_CANCELLED) ||
                        api.g_error_matches(call.error, io, G_IO_ERROR_TIMED_OUT) ||
                        api.g_error_matches(call.error, dbus, G_DBUS_ERROR_TIMEOUT) ||
                        api.g_error_matches(call.error, dbus, G_DBUS_ERROR_NO_REPLY);
    api.g_clear_error(&call.error);
    return silent ? KeyringAnswer::kNoAnswer : KeyringAnswer::kNoKeyring;
}

}  // namespace

KeyringAnswer KeyringLookup(const std::string& server, const std::string& user,
                            std::string& password, std::string& why,
                            std::chrono::milliseconds bound) {
    const SecretApi* api = Secret();
    if (!api) {
        why = kNoLibsecret;
        return KeyringAnswer::kNoKeyring;
    }
    const std::shared_ptr<Call> call = Run(
        *api,
        [server, user, api](GCancellable* cancel, Call& c) {
            gchar* found =
                api->secret_password_lookup_sync(Schema(), cancel, &c.error, "server",
                                                 server.c_str(), "user", user.c_str(), nullptr);
            if (found) {
                c.found = true;
                c.text = found;
                api->secret_password_free(found);
            }
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    const KeyringAnswer answer =
        Classify(*api, *call, why, call->found ? KeyringAnswer::kYes : KeyringAnswer::kNo);
    if (answer == KeyringAnswer::kYes) password = call->text;
    return answer;
}

KeyringAnswer KeyringStore(const std::string& server, const std::string& user,
                           const std::string& password, std::string& why,
                           std::chrono::milliseconds bound) {
    const SecretApi* api = Secret();
    if (!api) {
        why = kNoLibsecret;
        return KeyringAnswer::kNoKeyring;
    }
    const std::string label = Fill(Tr("HalvexSentrel 邮件密码（{0}）"), {user + "@" + server});
    const std::shared_ptr<Call> call = Run(
        *api,
        [server, user, password, label, api](GCancellable* cancel, Call& c) {
            c.found = api->secret_password_store_sync(
                Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), cancel,
                &c.error, "server", server.c_str(), "user", user.c_str(), nullptr);
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    const KeyringAnswer answer = Classify(*api, *call, why, KeyringAnswer::kYes);
    if (answer == KeyringAnswer::kYes && !call->found) {
        why = "the keyring did not take the password";
        return KeyringAnswer::kNoKeyring;
    }
    return answer;
}

KeyringAnswer KeyringClear(const std::string& server, const std::string& user, std::string& why,
                           std::chrono::milliseconds bound) {
    const SecretApi* api = Secret();
    if (!api) {
        why = kNoLibsecret;
        return KeyringAnswer::kNoKeyring;
    }
    const std::shared_ptr<Call> call = Run(
        *api,
        [server, user, api](GCancellable* cancel, Call& c) {
            api->secret_password_clear_sync(Schema(), cancel, &c.error, "server", server.c_str(),
                                            "user", user.c_str(), nullptr);
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    return Classify(*api, *call, why, KeyringAnswer::kYes);
}

std::string KeyringFailure(KeyringAnswer answer, const std::string& why) {
    return answer == KeyringAnswer::kNoAnswer ? std::string("the keyring did not answer") : why;
}

}  // namespace sentrel
