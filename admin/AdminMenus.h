// Puts the administration commands into the board's menus: "O&ptions" (the
// main menu's Options menu and the notification icon's menu), "Add &Name"
// (Actions, Ctrl+N, administrator only), and on a name "Reset &Password",
// "&Change Name", "Remove Name" and "Set &Options" (administrator only).
#pragma once

namespace qb::ui {
class MenuRegistry;
}

namespace qb::admin {

class AdminCommands;

void installAdminMenus(ui::MenuRegistry& menus, AdminCommands& commands);

} // namespace qb::admin
