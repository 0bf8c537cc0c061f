#include "BoardQuickKeys.h"

#include "admin/RemarkList.h"
#include "board/BoardGrid.h"
#include "board/LocalSettings.h"
#include "board/LoginLogic.h"
#include "board/QuickKeys.h"
#include "platform/FileOps.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

namespace qb::board {

BoardQuickKeys::BoardQuickKeys(QWidget* window, Station& station, Board& board, LoginLogic& login,
                               LocalSettings& settings, BoardGrid& grid, Hooks hooks)
    : QObject(window), m_window(window), m_station(station), m_board(board), m_login(login), m_settings(settings),
      m_grid(grid), m_hooks(std::move(hooks))
{
}

QMenu* BoardQuickKeys::makeMenu(QMenu* parent)
{
    auto* menu = new QMenu(QStringLiteral("&Quick Keys"), parent);
    QAction* showKeys =
        menu->addAction(QStringLiteral("&Show Key Assignments"), QKeySequence(Qt::CTRL | Qt::Key_K), this, [this] {
            if (m_login.loggedIn())
                m_hooks.inform(QString::fromStdString(keyAssignmentsText(m_settings.quickKey1, m_settings.quickKey2)));
        });
    showKeys->setObjectName(QStringLiteral("ShowKeyAssignments"));
    m_window->addAction(showKeys);
    for (int key : {1, 2}) {
        QAction* set = menu->addAction(QStringLiteral("Set the &%1 key").arg(key), this, [this, key] {
            if (!m_dialogs)
                return;
            const auto text = m_dialogs->askText("Set text for number " + std::to_string(key) + " key",
                                                 "Enter the text you want assigned", false);
            if (text)
                (key == 1 ? m_settings.quickKey1 : m_settings.quickKey2) = *text;
        });
        set->setObjectName(QStringLiteral("SetKey%1").arg(key));
    }
    menu->menuAction()->setVisible(false); // not shown as shipped
    return menu;
}

bool BoardQuickKeys::keyPressed(QKeyEvent* event)
{
    const QString text = event->text();
    const bool plain = text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const char32_t key = plain ? text[0].unicode() : 0;
    const QuickKeyStep step = quickKeyStep(key, m_grid.findBox() && m_grid.findBox()->isVisible(),
                                           m_grid.isVisible(), m_settings.quickKey1, m_settings.quickKey2);
    if (step.kind == QuickKeyStep::FocusFind) {
        m_grid.findBox()->setFocus();
        return true;
    }
    if (key != 0)
        m_hooks.keyTyped();
    switch (step.kind) {
    case QuickKeyStep::SetRemark:
        setRemark(step.text);
        return true;
    case QuickKeyStep::Reload:
        if (!platform::fileExists(m_station.dataPath(NamesTable::kFileName)))
            m_station.log.error("Network Error");
        else
            m_board.pollCounter = m_board.options.refreshTicks - 5; // the next poll comes within 5 ticks
        m_hooks.reload(false);
        return true;
    case QuickKeyStep::Find:
        m_grid.setFilter("");
        m_hooks.reload(false);
        m_grid.startFind(QChar(step.text[0]));
        return true;
    default:
        return false;
    }
}

void BoardQuickKeys::setRemark(const std::string& text)
{
    std::string remark = text;
    if (m_dialogs && remark.find_first_of("<{") != std::string::npos)
        remark = admin::RemarkList::expandPlaceholders(QString::fromStdString(remark), m_station.clock, *m_dialogs,
                                                       m_board.options[admin::opt::kInternationalDates])
                     .text.toStdString();
    if (m_login.remarks().setOwnRemark(remark, 'w', false) != WriteResult::NotAllowed)
        m_board.ownStatus = remark::kOther;
    m_hooks.repaint();
}

} // namespace qb::board
