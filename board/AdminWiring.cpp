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

namespace {

// The boxes of the administration windows through the one dialog seam.
QMessageBox::StandardButton askThrough(core::Dialogs& dialogs, QMessageBox::Icon icon, const QString& text,
                                       QMessageBox::StandardButtons buttons, QWidget* window)
{
    using D = core::Dialogs;
    D::Box box = D::Box::Information;
    switch (icon) {
    case QMessageBox::Warning: box = D::Box::Warning; break;
    case QMessageBox::Critical: box = D::Box::Error; break;
    case QMessageBox::Question: box = D::Box::Question; break;
    default: break;
    }
    const bool yesNo = buttons.testFlag(QMessageBox::Yes);
    const bool okCancel = !yesNo && buttons.testFlag(QMessageBox::Cancel);
    // Near the board, as its other boxes.
    const core::ScreenPoint at {window->x() + 50, window->y() + 30};
    const D::Answer a =
        dialogs.message(box, text.toStdString(), yesNo ? D::Buttons::YesNo : okCancel ? D::Buttons::OkCancel : D::Buttons::Ok, at);
    switch (a) {
    case D::Answer::Yes: return QMessageBox::Yes;
    case D::Answer::No: return QMessageBox::No;
    case D::Answer::Cancel: return QMessageBox::Cancel;
    case D::Answer::Ok: break;
    }
    return QMessageBox::Ok;
}

} // namespace

admin::AdminCommands* installAdministration(TForm1& form, Station& station, core::Dialogs& dialogs,
                                            AdminWiring wiring)
{
    Board& b = form.board();
    TForm1* f = &form;
    admin::AdminHost host;
    host.station = &station;
    host.prompts = &dialogs;
    host.messageBox = [&dialogs, f](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        return askThrough(dialogs, icon, text, buttons, f);
    };
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
        return people >= kMaxNames;
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
