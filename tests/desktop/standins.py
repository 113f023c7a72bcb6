"""Recording stand-ins of the desktop's services on a private session bus:
org.kde.StatusNotifierWatcher (a tray host) and org.freedesktop.Notifications.

Prints one JSON line per event. As a user would, it answers the first notification that
offers "打开网页" by choosing it, and once the tray item asked for attention and calmed
down again, chooses "退出" in the item's menu.

With --silent it is a broken desktop instead: a notification service and a keyring
(org.freedesktop.secrets) that take every call and never answer, and no tray host."""
import json
import sys

from gi.repository import Gio, GLib

WATCHER_XML = """
<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""

NOTIFY_XML = """
<node><interface name="org.freedesktop.Notifications">
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <method name="Notify">
    <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
    <arg type="u" direction="out"/>
  </method>
  <method name="CloseNotification"><arg type="u" direction="in"/></method>
  <method name="GetServerInformation">
    <arg type="s" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/><arg type="s" direction="out"/>
  </method>
  <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
  <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
</interface></node>"""

SECRETS_XML = """
<node><interface name="org.freedesktop.Secret.Service">
  <method name="OpenSession">
    <arg type="s" direction="in"/><arg type="v" direction="in"/>
    <arg type="v" direction="out"/><arg type="o" direction="out"/>
  </method>
  <method name="SearchItems">
    <arg type="a{ss}" direction="in"/>
    <arg type="ao" direction="out"/><arg type="ao" direction="out"/>
  </method>
  <method name="Unlock">
    <arg type="ao" direction="in"/><arg type="ao" direction="out"/><arg type="o" direction="out"/>
  </method>
  <method name="ReadAlias"><arg type="s" direction="in"/><arg type="o" direction="out"/></method>
</interface></node>"""

SILENT = "--silent" in sys.argv
unanswered = []  # calls kept, never answered

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
items = []
state = {"next": 0, "opened": False, "attention": False, "quit": False}


def say(**event):
    print(json.dumps(event, ensure_ascii=False), flush=True)


def item_call(iface, method, args, reply):
    name, path = items[0]
    return bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 2000, None)


def item_property(prop):
    reply = item_call("org.freedesktop.DBus.Properties", "Get",
                      GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", prop)), "(v)")
    return reply.unpack()[0]


def menu_items():
    name, _ = items[0]
    menu_path = item_property("Menu")
    reply = bus.call_sync(name, menu_path, "com.canonical.dbusmenu", "GetLayout",
                          GLib.Variant("(iias)", (0, -1, [])), GLib.VariantType("(u(ia{sv}av))"),
                          Gio.DBusCallFlags.NONE, 2000, None)
    _, (_, _, children) = reply.unpack()
    out = []
    for child in children:
        cid, props, _ = child
        out.append((cid, props.get("label", "-" if props.get("type") == "separator" else "")))
    return name, menu_path, out


def poll_status():
    if not items:
        return True
    try:
        status = item_property("Status")
    except GLib.Error:
        return True
    if status != state.get("status"):
        state["status"] = status
        say(event="status", status=status)
        if status == "NeedsAttention":
            state["attention"] = True
        elif state["attention"] and not state["quit"]:
            # Calm again after the mark was seen: the menu's 退出 ends the program.
            state["quit"] = True
            name, path, entries = menu_items()
            say(event="menu", labels=[label for _, label in entries])
            for cid, label in entries:
                if label == "退出":
                    bus.call_sync(name, path, "com.canonical.dbusmenu", "Event",
                                  GLib.Variant("(isvu)", (cid, "clicked", GLib.Variant("s", ""), 0)),
                                  None, Gio.DBusCallFlags.NONE, 2000, None)
    return True


def on_watcher(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        (arg,) = params.unpack()
        items.append((sender, arg) if arg.startswith("/") else (arg, "/StatusNotifierItem"))
        say(event="register", id=item_property("Id"), category=item_property("Category"))
    invocation.return_value(None)


def watcher_property(conn, sender, path, iface, prop):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", [n for n, _ in items]),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[prop]


def on_secrets(conn, sender, path, iface, method, params, invocation):
    say(event="secrets", method=method)
    unanswered.append(invocation)


def on_notify(conn, sender, path, iface, method, params, invocation):
    if SILENT:
        if method == "Notify":
            app, _, _, summary, body, actions, hints, _ = params.unpack()
            say(event="notify", app=app, summary=summary, body=body, actions=actions)
        unanswered.append(invocation)
        return
    if method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("standin", "test", "1", "1.2")))
    elif method == "CloseNotification":
        invocation.return_value(None)
    elif method == "Notify":
        app, _, _, summary, body, actions, hints, _ = params.unpack()
        state["next"] += 1
        nid = state["next"]
        say(event="notify", app=app, summary=summary, body=body, actions=actions,
            entry=hints.get("desktop-entry", ""))
        invocation.return_value(GLib.Variant("(u)", (nid,)))
        if "open" in actions and not state["opened"]:
            state["opened"] = True
            GLib.timeout_add(300, lambda: bus.emit_signal(
                sender, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                "ActionInvoked", GLib.Variant("(us)", (nid, "open"))) and False)


services = [(NOTIFY_XML, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
             on_notify, None)]
if SILENT:
    services.append((SECRETS_XML, "/org/freedesktop/secrets", "org.freedesktop.secrets",
                     on_secrets, None))
else:
    services.append((WATCHER_XML, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                     on_watcher, watcher_property))
for xml, path, name, call, prop in services:
    info = Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0]
    bus.register_object(path, info, call, prop, None)
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "RequestName", GLib.Variant("(su)", (name, 0)), GLib.VariantType("(u)"),
                  Gio.DBusCallFlags.NONE, 2000, None)

GLib.timeout_add(100, poll_status)
GLib.timeout_add(60000, lambda: sys.exit(0))
say(event="ready")
GLib.MainLoop().run()
