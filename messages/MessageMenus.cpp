#include "MessageMenus.h"

#include "messages/MessagingController.h"
#include "messages/TrdMsgs.h"
#include "ui/MenuRegistry.h"

namespace qb::messages {

namespace {
// Persons see the messaging items, the administrator does not, and nobody
// does with "Disable the message system".
bool forPersons(const ui::MenuContext& c) { return !c.loggedIn || (!c.admin && !c.option(10)); }
} // namespace

void installMessageMenus(ui::MenuRegistry& menus, MessagingController& messaging,
                         std::function<std::string(int boardIndex)> remarkOf)
{
    MessagingController* m = &messaging;
    menus.install({.key = ui::menukey::kReadMessages,
                   .place = ui::MenuPlace::Actions,
                   .order = ui::menuorder::kReadMessages,
                   .text = QStringLiteral("&Read Message(s)"),
                   .shortcut = QKeySequence(Qt::CTRL | Qt::Key_R),
                   .objectName = QStringLiteral("ReadMessages"),
                   .visible = forPersons,
                   .enabled = [](const ui::MenuContext& c) { return c.loggedIn && !c.admin; },
                   .run = [m](const ui::MenuContext&) { m->readMessages(); }});
    menus.install({.key = ui::menukey::kPopupSendMessage,
                   .place = ui::MenuPlace::NamePopup,
                   .order = ui::menuorder::kPopupSendMessage,
                   .text = QStringLiteral("&Send Message"),
                   .shortcut = {},
                   .objectName = QStringLiteral("PopupSendMessage"),
                   .visible = [](const ui::MenuContext& c) { return !c.option(10); },
                   .enabled = [](const ui::MenuContext& c) { return c.loggedIn && c.target > 0; },
                   .run =
                       [m, remarkOf](const ui::MenuContext& c) {
                           m->openSendWindow(c.target, QString::fromStdString(c.targetName),
                                             remarkOf ? remarkOf(c.target) : std::string());
                       }});
    menus.install({.key = ui::menukey::kPopupReadMessage,
                   .place = ui::MenuPlace::NamePopup,
                   .order = ui::menuorder::kPopupReadMessage,
                   .text = QStringLiteral("&Read Message"),
                   .shortcut = {},
                   .objectName = QStringLiteral("PopupReadMessage"),
                   .visible = forPersons,
                   .enabled = [](const ui::MenuContext& c) { return c.loggedIn && !c.admin; },
                   .run = [m](const ui::MenuContext&) { m->readMessages(); }});
    menus.install({.key = ui::menukey::kTrayReadMessages,
                   .place = ui::MenuPlace::Tray,
                   .order = ui::menuorder::kTrayReadMessages,
                   .text = QStringLiteral("&Read Message(s)"),
                   .shortcut = {},
                   .objectName = QStringLiteral("TrayReadMessages"),
                   .visible = forPersons,
                   .enabled = [](const ui::MenuContext& c) { return c.loggedIn && !c.admin; },
                   .run =
                       [m](const ui::MenuContext&) {
                           m->readMessages();
                           if (m->reader()->isVisible()) {
                               m->reader()->raise();
                               m->reader()->activateWindow();
                           }
                       }});
}

} // namespace qb::messages
