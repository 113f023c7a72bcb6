// Linux desktops: a StatusNotifierItem through libayatana-appindicator, where a watcher owns
// org.kde.StatusNotifierWatcher; notifications through libnotify. Both talk to the session
// bus, and only to one that exists: no bus is ever started for them.
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>
#include <libnotify/notify.h>
#include <wx/bitmap.h>
#include <wx/image.h>

#include <cstdio>
#include <functional>
#include <string>

#include "DesktopServices.h"
#include "Files.h"
#include "MonitorDlg.h"
#include "Product.h"
#include "SkinResources.h"
#include "resource.h"

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

// The window that menu items and notification actions reach; null once it is going.
CMonitorDlg* g_pOwner = nullptr;

void Later(const std::function<void(CMonitorDlg&)>& action) {
    if (g_pOwner)
        g_pOwner->CallAfter([action] {
            if (g_pOwner) action(*g_pOwner);
        });
}

class CIndicatorTray : public CStatusTray {
  public:
    explicit CIndicatorTray(CMonitorDlg* owner) {
        g_pOwner = owner;
        // The host reads the icons from files: the program's own, in a folder of its own.
        gchar* dir = g_dir_make_tmp("sentrel-icons-XXXXXX", nullptr);
        if (dir) {
            m_strIconDir = dir;
            g_free(dir);
            WriteIcon(IDI_TRAY_REST, "sentrel-rest");
            WriteIcon(IDI_TRAY_BLINK, "sentrel-alert");
        }
        m_pIndicator =
            app_indicator_new(kAppId, "sentrel-rest", APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
        if (!m_strIconDir.empty())
            app_indicator_set_icon_theme_path(m_pIndicator, m_strIconDir.c_str());
        app_indicator_set_attention_icon_full(m_pIndicator, "sentrel-alert", "发现网页更新！");
        app_indicator_set_title(m_pIndicator, kProductTitle);
        // "显示主窗口" first: many hosts open the menu on a click.
        GtkWidget* menu = gtk_menu_new();
        AddItem(menu, "显示主窗口", &ShowWindow);
        AddItem(menu, "设置", &OpenOptions);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
        AddItem(menu, "退出", &Quit);
        gtk_widget_show_all(menu);
        app_indicator_set_menu(m_pIndicator, GTK_MENU(menu));
        app_indicator_set_status(m_pIndicator, APP_INDICATOR_STATUS_ACTIVE);
    }
    ~CIndicatorTray() override {
        g_pOwner = nullptr;
        app_indicator_set_status(m_pIndicator, APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(m_pIndicator);
        for (const char* name : {"sentrel-rest.png", "sentrel-alert.png"})
            g_remove((m_strIconDir + "/" + name).c_str());
        if (!m_strIconDir.empty()) g_rmdir(m_strIconDir.c_str());
    }

    void SetAttention(bool attention) override {
        if (attention == m_bAttention) return;
        m_bAttention = attention;
        app_indicator_set_status(
            m_pIndicator, attention ? APP_INDICATOR_STATUS_ATTENTION : APP_INDICATOR_STATUS_ACTIVE);
    }

  private:
    static void ShowWindow(GtkMenuItem*, gpointer) {
        Later([](CMonitorDlg& dlg) { dlg.ShowFromTray(); });
    }
    static void OpenOptions(GtkMenuItem*, gpointer) {
        Later([](CMonitorDlg& dlg) { dlg.OnOptions(); });
    }
    static void Quit(GtkMenuItem*, gpointer) {
        Later([](CMonitorDlg& dlg) { dlg.RequestQuit(); });
    }
    static void AddItem(GtkWidget* menu, const char* label,
                        void (*handler)(GtkMenuItem*, gpointer)) {
        GtkWidget* item = gtk_menu_item_new_with_label(label);
        g_signal_connect(item, "activate", G_CALLBACK(handler), nullptr);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    void WriteIcon(int id, const char* name) {
        wxBitmap bmp(LoadIconResource(id).GetIcon(wxSize(22, 22)));
        if (bmp.IsOk())
            bmp.ConvertToImage().SaveFile(m_strIconDir + "/" + name + ".png", wxBITMAP_TYPE_PNG);
    }

    AppIndicator* m_pIndicator = nullptr;
    std::string m_strIconDir;
    bool m_bAttention = false;
};

class CLibnotifyNotifier : public CNotifier {
  public:
    explicit CLibnotifyNotifier(CMonitorDlg* owner) : m_pOwner(owner) {
        g_pOwner = owner;
        m_bReady = HaveSessionBus() && notify_init(kProductTitle);
    }
    ~CLibnotifyNotifier() override {
        if (g_pOwner == m_pOwner) g_pOwner = nullptr;
        if (m_bReady) notify_uninit();
    }

    void Show(const DesktopNotice& notice) override {
        if (!m_bReady) return;  // no notification service: nothing to say, nothing breaks
        g_pOwner = m_pOwner;
        NotifyNotification* n =
            notify_notification_new(notice.title.c_str(), notice.body.c_str(), kAppId);
        // The desktop entry names the program and gives its icon.
        notify_notification_set_hint(n, "desktop-entry", g_variant_new_string(kAppId));
        notify_notification_add_action(n, "default", "显示主窗口", &OnAction, nullptr, nullptr);
        if (notice.openRow)
            notify_notification_add_action(n, "open", "打开网页", &OnAction,
                                           reinterpret_cast<gpointer>(notice.openRow), nullptr);
        // The notification lives until the server closes it, so that its actions arrive.
        g_signal_connect(
            n, "closed",
            G_CALLBACK(+[](NotifyNotification* self, gpointer) { g_object_unref(self); }), nullptr);
        GError* error = nullptr;
        if (!notify_notification_show(n, &error)) {
            g_clear_error(&error);
            g_object_unref(n);
        }
    }

  private:
    static void OnAction(NotifyNotification*, char* action, gpointer row) {
        const RowId id = static_cast<RowId>(reinterpret_cast<std::intptr_t>(row));
        if (std::string(action) == "open")
            Later([id](CMonitorDlg& dlg) { dlg.OpenRowUrl(id); });
        else
            Later([](CMonitorDlg& dlg) { dlg.ShowFromTray(); });
    }

    CMonitorDlg* m_pOwner;
    bool m_bReady = false;
};

}  // namespace

std::unique_ptr<CStatusTray> CreateStatusTray(CMonitorDlg* owner) {
    if (!NameHasOwner("org.kde.StatusNotifierWatcher")) return nullptr;
    return std::make_unique<CIndicatorTray>(owner);
}

std::unique_ptr<CNotifier> CreateNotifier(CMonitorDlg* owner, wxTaskBarIcon*) {
    return std::make_unique<CLibnotifyNotifier>(owner);
}

}  // namespace sentrel
