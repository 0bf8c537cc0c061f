#include "AdminWiring.h"

#include "admin/AdminCommands.h"
#include "admin/TOptionsForm.h" // AdminCommands keeps a QPointer to it
#include "admin/AdminMenus.h"
#include "admin/MessageSound.h"
#include "admin/NameAdmin.h"
#include "board/BoardGrid.h"
#include "board/HelpViewer.h"
#include "board/TForm1.h"
#include "core/Dialogs.h"
#include "ui/MenuRegistry.h"

#include <QCursor>

namespace qb::board {

admin::AdminCommands* installAdministration(TForm1& form, Station& station, core::Dialogs& dialogs,
                                            AdminWiring wiring)
{
    Board& b = form.board();
    TForm1* f = &form;
    admin::AdminHost host;
    host.station = &station;
    host.dialogs = &dialogs;
    host.window = f;
    host.options = &b.options;
    // Added, renamed or regrouped rows show whole.
    host.reloadBoard = [f] { f->reloadFresh(true); };
    host.afterOwnOptions = [f, after = wiring.afterOwnOptions] {
        f->ownOptionsChanged();
        if (after)
            after();
    };
    host.clearAlert = wiring.clearAlert;
    host.boardFull = [&b] {
        int people = 0;
        for (int i = 1; i < b.rowCount(); ++i)
            if (b.names[static_cast<std::size_t>(i)] != kDeletedName)
                ++people;
        return people >= admin::kMaxNames;
    };
    host.clearViewFilter = [f] { f->showAllRows(); };
    host.groups = [f] { return f->viewGroups(); };
    host.addViewGroup = [f](const QString& group) { f->addViewGroup(group); };
    host.forgetLoginName = [&b, f](const std::string& name) {
        if (b.lastLoginName == name)
            b.lastLoginName.clear();
        if (f->settings().lastName == name)
            f->settings().lastName.clear();
    };
    host.showInformation = [f, show = wiring.showInformation](int index, const QString& name) {
        if (show)
            show(index, name, f->menus().context());
    };
    host.help = [f](const QString& topic) {
        f->helpViewer()->showTopic({HelpViewer::localHelpDir(), HelpViewer::fixedHelpDir()}, topic);
    };
    host.testSound = [f] { admin::playMessageSound(f); };
    host.messageWindowOpen = wiring.messageWindowOpen;
    host.bringForward = [f] {
        f->showNormal();
        f->raise();
        f->activateWindow();
    };

    auto* commands = new admin::AdminCommands(std::move(host), f);
    admin::installAdminMenus(f->menus(), *commands);
    // The administrator's click on a group cell: the group pop-up, whose
    // choice is written into that person's record.
    QObject::connect(f->grid(), &BoardGrid::cellClicked, commands,
                     [f, &b, commands](int boardIndex, int column, Qt::MouseButton button) {
                         if (button == Qt::LeftButton && column == BoardView::kGroupColumn && b.adminMode &&
                             f->loginLogic().loggedIn() && b.isShown(boardIndex))
                             commands->groupCellClicked(boardIndex, QCursor::pos());
                     });
    return commands;
}

} // namespace qb::board
