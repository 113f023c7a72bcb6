#include <libsecret/secret.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "Keyring.h"
#include "Translate.h"

namespace sentrel {

namespace {

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
std::shared_ptr<Call> Run(const std::function<void(GCancellable*, Call&)>& work,
                          std::chrono::milliseconds bound) {
    if (Silent()) return nullptr;
    GCancellable* cancel = g_cancellable_new();
    auto call = std::make_shared<Call>();
    std::thread worker([call, cancel, work] {
        work(cancel, *call);
        g_object_unref(cancel);
        std::lock_guard<std::mutex> lock(call->mutex);
        call->finished = true;
        call->done.notify_all();
    });
    std::unique_lock<std::mutex> lock(call->mutex);
    if (!call->done.wait_for(lock, bound, [&] { return call->finished; })) {
        g_cancellable_cancel(cancel);  // the service never answered: the call is given up
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
KeyringAnswer Classify(Call& call, std::string& why, KeyringAnswer ok) {
    if (!call.error) return ok;
    why = call.error->message;
    const bool silent = g_error_matches(call.error, G_IO_ERROR, G_IO_ERROR_CANCELLED) ||
                        g_error_matches(call.error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
                        g_error_matches(call.error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
                        g_error_matches(call.error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY);
    g_clear_error(&call.error);
    return silent ? KeyringAnswer::kNoAnswer : KeyringAnswer::kNoKeyring;
}

}  // namespace

KeyringAnswer KeyringLookup(const std::string& server, const std::string& user,
                            std::string& password, std::string& why,
                            std::chrono::milliseconds bound) {
    const std::shared_ptr<Call> call = Run(
        [server, user](GCancellable* cancel, Call& c) {
            gchar* found =
                secret_password_lookup_sync(Schema(), cancel, &c.error, "server", server.c_str(),
                                            "user", user.c_str(), nullptr);
            if (found) {
                c.found = true;
                c.text = found;
                secret_password_free(found);
            }
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    const KeyringAnswer answer =
        Classify(*call, why, call->found ? KeyringAnswer::kYes : KeyringAnswer::kNo);
    if (answer == KeyringAnswer::kYes) password = call->text;
    return answer;
}

KeyringAnswer KeyringStore(const std::string& server, const std::string& user,
                           const std::string& password, std::string& why,
                           std::chrono::milliseconds bound) {
    const std::string label = Fill(Tr("HalvexSentrel 邮件密码（{0}）"), {user + "@" + server});
    const std::shared_ptr<Call> call = Run(
        [server, user, password, label](GCancellable* cancel, Call& c) {
            c.found = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                 password.c_str(), cancel, &c.error, "server",
                                                 server.c_str(), "user", user.c_str(), nullptr);
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    const KeyringAnswer answer = Classify(*call, why, KeyringAnswer::kYes);
    if (answer == KeyringAnswer::kYes && !call->found) {
        why = "the keyring did not take the password";
        return KeyringAnswer::kNoKeyring;
    }
    return answer;
}

KeyringAnswer KeyringClear(const std::string& server, const std::string& user, std::string& why,
                           std::chrono::milliseconds bound) {
    const std::shared_ptr<Call> call = Run(
        [server, user](GCancellable* cancel, Call& c) {
            secret_password_clear_sync(Schema(), cancel, &c.error, "server", server.c_str(), "user",
                                       user.c_str(), nullptr);
        },
        bound);
    if (!call) return KeyringAnswer::kNoAnswer;
    return Classify(*call, why, KeyringAnswer::kYes);
}

std::string KeyringFailure(KeyringAnswer answer, const std::string& why) {
    return answer == KeyringAnswer::kNoAnswer ? std::string("the keyring did not answer") : why;
}

}  // namespace sentrel
