#pragma once
// The window's menus, built afresh for each use.
class wxMenu;

namespace sentrel {

/// The list's context menu: the entries over a row (查看变化 for a text row), the five
/// beside the rows.
wxMenu* CreateListMenu(bool bOnRow, bool bTextRow = false);
/// The tray menu ("设置", separator, "退出"), also under the ▾ caption button.
wxMenu* CreateTrayMenu();

}  // namespace sentrel
