#include <libsecret/secret.h>

#include "Keyring.h"

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

}  // namespace

bool KeyringAvailable(std::string& why) {
    GError* e = nullptr;
    gchar* found =
        secret_password_lookup_sync(Schema(), nullptr, &e, "server", "", "user", "", nullptr);
    if (found) secret_password_free(found);
    if (!e) return true;
    why = e->message;
    g_error_free(e);
    return false;
}

bool KeyringStore(const std::string& server, const std::string& user, const std::string& password,
                  std::string& error) {
    GError* e = nullptr;
    const std::string label = "HalvexSentrel 邮件密码（" + user + "@" + server + "）";
    const gboolean ok = secret_password_store_sync(
        Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr, &e, "server",
        server.c_str(), "user", user.c_str(), nullptr);
    if (e) {
        error = e->message;
        g_error_free(e);
    }
    return ok;
}

bool KeyringLookup(const std::string& server, const std::string& user, std::string& password) {
    GError* e = nullptr;
    gchar* found = secret_password_lookup_sync(Schema(), nullptr, &e, "server", server.c_str(),
                                               "user", user.c_str(), nullptr);
    if (e) g_error_free(e);
    if (!found) return false;
    password = found;
    secret_password_free(found);
    return true;
}

void KeyringClear(const std::string& server, const std::string& user) {
    GError* e = nullptr;
    secret_password_clear_sync(Schema(), nullptr, &e, "server", server.c_str(), "user",
                               user.c_str(), nullptr);
    if (e) g_error_free(e);
}

}  // namespace sentrel
