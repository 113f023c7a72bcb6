// Linux desktops: a StatusNotifierItem through libayatana-appindicator, where a watcher owns
// org.kde.StatusNotifierWatcher; notifications by asynchronous calls to the notification
// service. Both talk to the session bus, and only to one that exists: no bus is ever
// started for them.
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>
#include <wx/bitmap.h>
#include <wx/image.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/DesktopServices.h"
#include "app/MonitorDlg.h"
#include "controls/SkinResources.h"
#include "platform/Files.h"
#include "platform/LazyLibrary.h"
#include "res/resource.h"
#include "support/Product.h"

namespace sentrel {

namespace {

constexpr const char* kAppId = "com.halvex.Sentrel";

bool HaveSessionBus() {
    if (!GetEnv("DBUS_SESSION_BUS_ADDRESS").empty()) return true;
    const std::string runtime = GetEnv("XDG_RUNTIME_DIR");
    return !runtime.empty() && fs::KindOf(runtime + "/bus") != fs::Kind::kMissing;
}

bool NameHasOwner(const char* name) {
    if (!HaveSessionBus()) return false;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        2000, nullptr, &error);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_clear_error(&error);
    g_object_unref(bus);
    return owned;
}

// What a menu item or a notification's action asks of the window, from the main loop
// (the window's pending calls go with it).
void Later(CMonitorDlg* owner, const std::function<void(CMonitorDlg&)>& action) {
    if (owner) owner->CallAfter([owner, action] { action(*owner); });
}

// libayatana-appindicator (with its menu libraries) is loaded only where a watcher answers.
// clang-format off
#define SENTREL_INDICATOR_CALLS(X) \
    X(app_indicator_new) X(app_indicator_set_icon_theme_path)                        \
    X(app_indicator_set_attention_icon_full) X(app_indicator_set_title)              \
    X(app_indicator_set_menu) X(app_indicator_set_status)
// clang-format on

struct IndicatorApi {
    SENTREL_INDICATOR_CALLS(SENTREL_API_MEMBER)
};

const IndicatorApi* Indicator() {
    return LoadOnce<IndicatorApi>(
        "libayatana-appindicator3.so.1",
        [](LazyLibrary& lib, IndicatorApi& api) { SENTREL_INDICATOR_CALLS(SENTREL_API_BIND) });
}

class CIndicatorTray : public CStatusTray {
  public:
    CIndicatorTray(CMonitorDlg* owner, const IndicatorApi& api) : m_pOwner(owner), m_api(api) {
        // The host reads the icons from files: the program's own, in a folder of its own.
        gchar* dir = g_dir_make_tmp("sentrel-icons-XXXXXX", nullptr);
        if (dir) {
            m_strIconDir = dir;
            g_free(dir);
            WriteIcon(IDI_TRAY_REST, "sentrel-rest");
            WriteIcon(IDI_TRAY_BLINK, "sentrel-alert");
        }
        m_pIndicator = m_api.app_indicator_new(kAppId, "sentrel-rest",
                                               APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
        if (!m_strIconDir.empty())
            m_api.app_indicator_set_icon_theme_path(m_pIndicator, m_strIconDir.c_str());
        m_api.app_indicator_set_attention_icon_full(m_pIndicator, "sentrel-alert",
                                                    Tr("发现网页更新！").c_str());
        m_api.app_indicator_set_title(m_pIndicator, kProductTitle);
        // "显示主窗口" first: many hosts open the menu on a click.
        GtkWidget* menu = gtk_menu_new();
        AddItem(menu, Tr("显示主窗口").c_str(), &ShowWindow);
        AddItem(menu, Tr("设置").c_str(), &OpenOptions);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
        AddItem(menu, Tr("退出").c_str(), &Quit);
        gtk_widget_show_all(menu);
        m_api.app_indicator_set_menu(m_pIndicator, GTK_MENU(menu));
        m_api.app_indicator_set_status(m_pIndicator, APP_INDICATOR_STATUS_ACTIVE);
    }
    ~CIndicatorTray() override {
        m_api.app_indicator_set_status(m_pIndicator, APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(m_pIndicator);
        for (const char* name : {"sentrel-rest.png", "sentrel-alert.png"})
            g_remove((m_strIconDir + "/" + name).c_str());
        if (!m_strIconDir.empty()) g_rmdir(m_strIconDir.c_str());
    }

    void SetAttention(bool attention) override {
        if (attention == m_bAttention) return;
        m_bAttention = attention;
        m_api.app_indicator_set_status(
            m_pIndicator, attention ? APP_INDICATOR_STATUS_ATTENTION : APP_INDICATOR_STATUS_ACTIVE);
    }

  private:
    // The menu's items are the indicator's, gone with it: `self` outlives them.
    static void ShowWindow(GtkMenuItem*, gpointer self) {
        Later(static_cast<CIndicatorTray*>(self)->m_pOwner,
              [](CMonitorDlg& dlg) { dlg.ShowFromTray(); });
    }
    static void OpenOptions(GtkMenuItem*, gpointer self) {
        Later(static_cast<CIndicatorTray*>(self)->m_pOwner,
              [](CMonitorDlg& dlg) { dlg.OnOptions(); });
    }
    static void Quit(GtkMenuItem*, gpointer self) {
        Later(static_cast<CIndicatorTray*>(self)->m_pOwner,
              [](CMonitorDlg& dlg) { dlg.RequestQuit(); });
    }
    void AddItem(GtkWidget* menu, const char* label, void (*handler)(GtkMenuItem*, gpointer)) {
        GtkWidget* item = gtk_menu_item_new_with_label(label);
        g_signal_connect(item, "activate", G_CALLBACK(handler), this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    void WriteIcon(int id, const char* name) {
        wxBitmap bmp(LoadIconResource(id).GetIcon(wxSize(22, 22)));
        if (bmp.IsOk())
            bmp.ConvertToImage().SaveFile(m_strIconDir + "/" + name + ".png", wxBITMAP_TYPE_PNG);
    }

    CMonitorDlg* m_pOwner;
    const IndicatorApi& m_api;
    AppIndicator* m_pIndicator = nullptr;
    std::string m_strIconDir;
    bool m_bAttention = false;
};

// Notifications over the session bus, asked without ever waiting: a service that takes a
// call and never answers (or a bus that never lets us in) costs the window nothing. At most
// a few calls are outstanding; beyond them a notice is dropped rather than queued for ever.
class CBusNotifier : public CNotifier {
  public:
    explicit CBusNotifier(CMonitorDlg* owner) : m_state(std::make_shared<State>()) {
        m_state->owner = owner;
        if (!HaveSessionBus()) return;  // no notification service: nothing to say, nothing breaks
        m_state->cancel = g_cancellable_new();
        g_bus_get(G_BUS_TYPE_SESSION, m_state->cancel, &OnBus, new Ref(m_state));
    }
    ~CBusNotifier() override {
        // Calls still under way end (cancelled) into a state that knows it is gone.
        m_state->alive = false;
        if (m_state->cancel) {
            g_cancellable_cancel(m_state->cancel);
            g_object_unref(m_state->cancel);
        }
        if (m_state->bus) {
            if (m_state->signals)
                g_dbus_connection_signal_unsubscribe(m_state->bus, m_state->signals);
            g_object_unref(m_state->bus);
        }
    }

    void Show(const DesktopNotice& notice) override {
        if (!m_state->cancel) return;
        if (!m_state->bus) {  // connecting still: said once it is there
            if (m_state->waiting.size() < kMaxOutstanding) m_state->waiting.push_back(notice);
            return;
        }
        Send(m_state, notice);
    }

  private:
    static constexpr std::size_t kMaxOutstanding = 4;
    static constexpr int kCallTimeoutMs = 5000;

    struct State {
        CMonitorDlg* owner = nullptr;
        bool alive = true;
        GCancellable* cancel = nullptr;
        GDBusConnection* bus = nullptr;
        guint signals = 0;
        std::size_t outstanding = 0;
        std::vector<DesktopNotice> waiting;
        std::map<guint32, RowId> shown;  // notification id: the row its 打开网页 opens
    };
    using Ref = std::shared_ptr<State>;  // what a callback holds

    static void OnBus(GObject*, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Ref> ref(static_cast<Ref*>(data));
        GDBusConnection* bus = g_bus_get_finish(result, nullptr);
        State& state = **ref;
        if (!bus) return;
        if (!state.alive) {
            g_object_unref(bus);
            return;
        }
        state.bus = bus;
        state.signals = g_dbus_connection_signal_subscribe(
            bus, "org.freedesktop.Notifications", "org.freedesktop.Notifications", nullptr,
            "/org/freedesktop/Notifications", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &OnSignal,
            new Ref(*ref), [](gpointer p) { delete static_cast<Ref*>(p); });
        std::vector<DesktopNotice> waiting;
        waiting.swap(state.waiting);
        for (const DesktopNotice& notice : waiting) Send(*ref, notice);
    }

    static void Send(const Ref& state, const DesktopNotice& notice) {
        if (state->outstanding >= kMaxOutstanding) return;  // a silent service: no pile-up
        GVariantBuilder actions;
        g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
        const std::string show = Tr("显示主窗口"), open = Tr("打开网页");
        for (const char* a : {"default", show.c_str()}) g_variant_builder_add(&actions, "s", a);
        if (notice.openRow)
            for (const char* a : {"open", open.c_str()}) g_variant_builder_add(&actions, "s", a);
        GVariantBuilder hints;
        g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
        // The desktop entry names the program and gives its icon.
        g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(kAppId));
        ++state->outstanding;
        g_dbus_connection_call(
            state->bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            "org.freedesktop.Notifications", "Notify",
            g_variant_new("(susssasa{sv}i)", kProductTitle, 0u, kAppId, notice.title.c_str(),
                          notice.body.c_str(), &actions, &hints, -1),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, state->cancel, &OnShown,
            new std::pair<Ref, RowId>(state, notice.openRow));
    }

    static void OnShown(GObject* bus, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::pair<Ref, RowId>> call(static_cast<std::pair<Ref, RowId>*>(data));
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
        State& state = *call->first;
        if (state.outstanding > 0) --state.outstanding;
        if (!reply) return;
        guint32 id = 0;
        g_variant_get(reply, "(u)", &id);
        g_variant_unref(reply);
        if (state.alive && call->second) state.shown[id] = call->second;
    }

    static void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* signal, GVariant* parameters, gpointer data) {
        State& state = **static_cast<Ref*>(data);
        if (!state.alive) return;
        guint32 id = 0;
        if (std::string(signal) == "NotificationClosed") {
            guint32 reason = 0;
            g_variant_get(parameters, "(uu)", &id, &reason);
            state.shown.erase(id);
            return;
        }
        if (std::string(signal) != "ActionInvoked") return;
        const gchar* action = nullptr;
        g_variant_get(parameters, "(u&s)", &id, &action);
        auto it = state.shown.find(id);
        if (std::string(action) == "open" && it != state.shown.end()) {
            const RowId row = it->second;
            Later(state.owner, [row](CMonitorDlg& dlg) { dlg.OpenRowUrl(row); });
        } else if (std::string(action) == "default") {
            Later(state.owner, [](CMonitorDlg& dlg) { dlg.ShowFromTray(); });
        }
    }

    std::shared_ptr<State> m_state;
};

}  // namespace

std::unique_ptr<CStatusTray> CreateStatusTray(CMonitorDlg* owner) {
    if (!NameHasOwner("org.kde.StatusNotifierWatcher")) return nullptr;
    const IndicatorApi* api = Indicator();
    if (!api) return nullptr;
    return std::make_unique<CIndicatorTray>(owner, *api);
}

std::unique_ptr<CNotifier> CreateNotifier(CMonitorDlg* owner, wxTaskBarIcon*) {
    return std::make_unique<CBusNotifier>(owner);
}

}  // namespace sentrel
