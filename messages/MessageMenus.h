// Puts the messaging commands into the board's menus: "&Read Message(s)"
// (Actions, Ctrl+R), "&Send Message" and "&Read Message" on a name, and the
// notification icon's "&Read Message(s)".
#pragma once

#include <functional>
#include <string>

namespace qb::ui {
class MenuRegistry;
}

namespace qb::messages {

class MessagingController;

// remarkOf answers the board's remark of a board index (the out-of-office
// colouring of the send window compares it with the In text).
void installMessageMenus(ui::MenuRegistry& menus, MessagingController& messaging,
                         std::function<std::string(int boardIndex)> remarkOf);

} // namespace qb::messages
