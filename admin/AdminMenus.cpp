#include "AdminMenus.h"

#include "admin/AdminCommands.h"
#include "admin/TOptionsForm.h" // AdminCommands keeps a QPointer to it
#include "ui/MenuRegistry.h"

namespace qb::admin {

namespace {

bool loggedIn(const ui::MenuContext& c) { return c.loggedIn; }
bool administrator(const ui::MenuContext& c) { return c.loggedIn && c.admin; }
// The name items act on the clicked person (never the administrator's record).
bool administratorOnPerson(const ui::MenuContext& c) { return administrator(c) && c.target > 0; }

ui::MenuItem item(const char* key, ui::MenuPlace place, int order, const char* text, const char* objectName)
{
    ui::MenuItem i;
    i.key = key;
    i.place = place;
    i.order = order;
    i.text = QString::fromLatin1(text);
    i.objectName = QString::fromLatin1(objectName);
    return i;
}

} // namespace

void installAdminMenus(ui::MenuRegistry& menus, AdminCommands& commands)
{
    namespace key = ui::menukey;
    namespace order = ui::menuorder;
    using P = ui::MenuPlace;
    AdminCommands* a = &commands;

    // "O&ptions": a person's own options; the administrator is told to pick
    // a name. Nothing to open while nobody is logged in.
    const auto ownOptions = [a](const ui::MenuContext& c) { a->openOwnOptions(c.ownIndex, c.admin); };
    ui::MenuItem options = item(key::kOptions, P::Options, order::kOptions, "O&ptions", "Options1");
    options.enabled = loggedIn;
    options.run = ownOptions;
    menus.install(std::move(options));
    ui::MenuItem tray = item(key::kTrayOptions, P::Tray, order::kTrayOptions, "O&ptions", "TrayOptions");
    tray.enabled = loggedIn;
    tray.run = ownOptions;
    menus.install(std::move(tray));

    ui::MenuItem add = item(key::kAddName, P::Actions, order::kAddName, "Add &Name", "AddName1");
    add.shortcut = QKeySequence(Qt::CTRL | Qt::Key_N);
    add.visible = administrator;
    add.run = [a](const ui::MenuContext& c) {
        if (administrator(c))
            a->addNames();
    };
    menus.install(std::move(add));

    struct NameItem {
        const char* key;
        int order;
        const char* text;
        const char* objectName;
        void (*run)(AdminCommands&, const ui::MenuContext&);
    };
    const NameItem nameItems[] = {
        {key::kPopupResetPassword, order::kPopupResetPassword, "Reset &Password", "ResetPassword1",
         [](AdminCommands& x, const ui::MenuContext& c) { x.resetPassword(c.target); }},
        {key::kPopupChangeName, order::kPopupChangeName, "&Change Name", "ChangeName1",
         [](AdminCommands& x, const ui::MenuContext& c) { x.changeName(c.target); }},
        {key::kPopupRemoveName, order::kPopupRemoveName, "Remove Name", "RemoveName1",
         [](AdminCommands& x, const ui::MenuContext& c) { x.removeName(c.target); }},
        {key::kPopupSetOptions, order::kPopupSetOptions, "Set &Options", "SetOptions1",
         [](AdminCommands& x, const ui::MenuContext& c) { x.openOptionsFor(c.target, c.targetName); }},
    };
    for (const NameItem& n : nameItems) {
        ui::MenuItem i = item(n.key, P::NamePopup, n.order, n.text, n.objectName);
        i.visible = administrator;
        i.enabled = administratorOnPerson;
        i.run = [a, run = n.run](const ui::MenuContext& c) {
            if (administratorOnPerson(c))
                run(*a, c);
        };
        menus.install(std::move(i));
    }
}

} // namespace qb::admin
