// The administration commands connected to the board window: AdminHost's
// hooks filled from the main window, the menu items installed, and the
// administrator's click on a person's group cell opening the group pop-up.
// The program's entry calls it once after the main window exists; window
// tests call it the same way.
#pragma once

#include <QString>

#include <functional>

namespace qb::admin {
class AdminCommands;
}
namespace qb::core {
class Dialogs;
}
namespace qb::ui {
struct MenuContext;
}

namespace qb::board {

struct Station;
class TForm1;

// What the board window does not hold itself (each may be empty).
struct AdminWiring {
    // A change written by an options window ends the new-message alert.
    std::function<void()> clearAlert;
    // After the own options window, once the board took the new options
    // (the new-message check's counter).
    std::function<void()> afterOwnOptions;
    // The send window or the message reader is open.
    std::function<bool()> messageWindowOpen;
    // The information card of a person just added.
    std::function<void(int boardIndex, const QString& name, const ui::MenuContext& context)> showInformation;
};

// The commands live as long as the window (its child).
admin::AdminCommands* installAdministration(TForm1& form, Station& station, core::Dialogs& dialogs,
                                            AdminWiring wiring);

} // namespace qb::board
