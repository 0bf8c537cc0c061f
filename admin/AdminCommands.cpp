#include "AdminCommands.h"

#include "admin/NameAdmin.h"
#include "admin/TOptionsForm.h"
#include "core/Dialogs.h"

#include <QWidget>

namespace qb::admin {


namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

AdminCommands::AdminCommands(AdminHost host, QObject* parent) : QObject(parent), m_host(std::move(host))
{
    m_groupMenu = new GroupMenu(m_host.dialogs, m_host.window);
    connect(m_groupMenu, &GroupMenu::groupChosen, this, [this](const QString& group) {
        if (m_groupTarget <= 0)
            return;
        const NameEditResult r = admin::setGroup(*m_host.station, m_groupTarget, group.toStdString());
        if (r != NameEditResult::Ok)
            warn(r == NameEditResult::LockFailed ? "Another station is changing this person; try again."
                                                 : "The group could not be written to qb3.dbf.");
        if (!group.isEmpty() && m_host.addViewGroup)
            m_host.addViewGroup(group);
        if (m_host.reloadBoard)
            m_host.reloadBoard();
    });
}

void AdminCommands::warn(const std::string& text)
{
    if (m_host.dialogs)
        m_host.dialogs->warn(text);
}

bool AdminCommands::confirm(const std::string& text)
{
    return m_host.dialogs && m_host.dialogs->confirm(text);
}

bool AdminCommands::runOptions(const QString& caption, int target, bool admin)
{
    TOptionsForm::Context c;
    c.station = m_host.station;
    c.adminMode = admin;
    c.inMemory = m_host.options;
    c.caption = caption;
    c.target = target;
    c.lastGroup = m_lastGroup;
    c.dialogs = m_host.dialogs;
    c.groups = m_host.groups;
    c.help = m_host.help;
    c.testSound = m_host.testSound;
    c.nameAdded = [this](int index, const QString& name, const QString& group) {
        if (group != QStringLiteral("?") && m_host.addViewGroup)
            m_host.addViewGroup(group);
        if (!takeViewGroups())
            m_groupMenu->choice().addItem(group.toStdString());
        m_groupMenu->rebuild();
        if (m_host.reloadBoard)
            m_host.reloadBoard();
        if (m_host.showInformation)
            m_host.showInformation(index, name);
    };
    TOptionsForm form(std::move(c), m_host.window);
    m_options = &form;
    emit optionsWindowOpened(&form);
    form.exec();
    m_options = nullptr;
    m_lastGroup = form.currentGroup().left(kLastGroupLimit);
    if (form.closeResult() == CloseResult::Written && m_host.clearAlert)
        m_host.clearAlert();
    return true;
}

void AdminCommands::openOwnOptions(int ownIndex, bool admin)
{
    if (ownIndex < 0)
        return;
    if (m_options) { // one options window at a time
        m_options->raise();
        m_options->activateWindow();
        return;
    }
    if (m_host.messageWindowOpen && m_host.messageWindowOpen()) {
        if (m_host.bringForward)
            m_host.bringForward();
        return;
    }
    if (admin) {
        // Near the board, as its other notes.
        if (m_host.dialogs) {
            std::optional<core::ScreenPoint> at;
            if (m_host.window)
                at = core::ScreenPoint {m_host.window->x() + 50, m_host.window->y() + 30};
            m_host.dialogs->inform("Click on a name and\nselect Set Options to \nset individual options", at);
        }
        return;
    }
    runOptions(QString::fromLatin1(kOwnOptionsCaption), ownIndex, false);
    if (m_host.afterOwnOptions)
        m_host.afterOwnOptions();
}

void AdminCommands::openOptionsFor(int target, const std::string& name)
{
    if (target < 0 || m_options)
        return;
    const std::string stored = personName(*m_host.station, target);
    runOptions(q(adminOptionsCaption(stored.empty() ? name : stored)), target, true);
}

void AdminCommands::addNames()
{
    if (m_options || (m_host.boardFull && m_host.boardFull()))
        return;
    if (m_host.clearViewFilter)
        m_host.clearViewFilter();
    runOptions(QString::fromLatin1(kAddingCaption), 0, true);
    if (m_host.reloadBoard)
        m_host.reloadBoard();
}

void AdminCommands::resetPassword(int target)
{
    const std::string name = personName(*m_host.station, target);
    if (name.empty() || !confirm("Set password to blank\nfor " + name))
        return;
    const NameEditResult r = admin::resetPassword(*m_host.station, target);
    if (r != NameEditResult::Ok)
        warn(r == NameEditResult::LockFailed ? "Another station is changing " + name + "; the password was not reset."
                                             : "The password of " + name + " could not be reset.");
}

void AdminCommands::changeName(int target)
{
    const std::string name = personName(*m_host.station, target);
    if (name.empty() || !m_host.dialogs)
        return;
    std::optional<std::string> text = m_host.dialogs->askText("Change Name", "New Name", false, name);
    if (!text || QString::fromStdString(*text).trimmed().isEmpty())
        return;
    std::string problem;
    const NameEditResult r = admin::renameName(*m_host.station, target, *text, &problem);
    if (r == NameEditResult::Invalid || r == NameEditResult::Duplicate)
        warn(problem);
    else if (r == NameEditResult::LockFailed)
        warn("Another station is changing " + name + "; the name was not changed.");
    else if (r != NameEditResult::Ok)
        warn("The name of " + name + " could not be changed.");
    if (m_host.reloadBoard)
        m_host.reloadBoard();
}

void AdminCommands::removeName(int target)
{
    const std::string name = personName(*m_host.station, target);
    if (name.empty() || !confirm("Remove " + name))
        return;
    const NameEditResult r = admin::removePerson(*m_host.station, target);
    if (r == NameEditResult::Ok && m_host.forgetLoginName)
        m_host.forgetLoginName(name);
    if (r == NameEditResult::LockFailed)
        warn("Another station is changing " + name + "; " + name + " was not removed.");
    else if (r != NameEditResult::Ok)
        warn(name + " could not be removed.");
    if (m_host.reloadBoard)
        m_host.reloadBoard();
}

bool AdminCommands::takeViewGroups()
{
    // The pop-up lists the groups in the View menu's order.
    if (!m_host.groups)
        return false;
    std::vector<std::string> groups;
    for (const QString& g : m_host.groups())
        groups.push_back(g.toStdString());
    m_groupMenu->choice().setGroups(groups);
    return true;
}

void AdminCommands::groupCellClicked(int target, QPoint at)
{
    m_groupTarget = target;
    takeViewGroups();
    m_groupMenu->rebuild();
    m_groupMenu->popup(at);
}

} // namespace qb::admin
