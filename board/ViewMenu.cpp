#include "ViewMenu.h"

#include "board/BoardGrid.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace qb::board {

ViewMenu::ViewMenu(QMenuBar* bar, BoardGrid& grid, Hooks hooks) : QObject(bar), m_grid(grid), m_hooks(std::move(hooks))
{
    m_menu = bar->addMenu(QStringLiteral("&View"));
    m_filterItems = new QActionGroup(this);
    m_filterItems->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    m_all = m_menu->addAction(QStringLiteral("All"), QKeySequence(Qt::Key_F2), this, &ViewMenu::showAll);
    m_all->setCheckable(true);
    m_all->setChecked(true);
    m_filterItems->addAction(m_all);
    m_separator = m_menu->addSeparator();
    QMenu* fonts = m_menu->addMenu(QStringLiteral("Font Size"));
    m_fontItems = new QActionGroup(this);
    for (int size : {8, 10, 12, 14, 16, 24}) {
        QAction* a = fonts->addAction(QString::number(size), this, [this, size] {
            m_grid.setFontSize(size);
            m_hooks.fontChosen(m_grid.fontSize());
            m_hooks.fit(true);
        });
        a->setObjectName(QStringLiteral("FontSize%1").arg(size));
        a->setData(size);
        a->setCheckable(true);
        a->setChecked(size == m_grid.fontSize());
        m_fontItems->addAction(a);
        if (size == 10)
            a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    }
    m_menu->addAction(QStringLiteral("Autosize Columns"), this, [this] { m_grid.autosizeColumns(); });

    connect(&m_grid, &BoardGrid::filterChanged, this, [this] {
        checkFilterItem();
        m_hooks.fit(false);
    });
    connect(&m_grid, &BoardGrid::fontSizeChanged, this, [this](int size) {
        for (QAction* a : m_fontItems->actions())
            a->setChecked(a->data().toInt() == size);
    });
}

void ViewMenu::rebuild()
{
    if (!m_groupItems.isEmpty())
        return; // built once; Show Names empties it
    for (const ViewItem& item : m_grid.view().viewItems())
        addGroupItem(QString::fromStdString(item.caption), item.group, item.shortcut);
    checkFilterItem();
}

void ViewMenu::forgetGroups()
{
    for (QAction* a : m_groupItems)
        m_menu->removeAction(a);
    qDeleteAll(m_groupItems);
    m_groupItems.clear();
}

void ViewMenu::showAll()
{
    if (m_grid.setFilter(""))
        m_hooks.fit(false);
    checkFilterItem();
}

QStringList ViewMenu::groups() const
{
    QStringList groups;
    for (const QAction* a : m_groupItems)
        groups << a->text().trimmed();
    return groups;
}

void ViewMenu::addGroup(const QString& group)
{
    QString caption = group;
    caption.replace(QLatin1Char('&'), QLatin1Char('+'));
    for (const QAction* a : m_groupItems)
        if (a->text() == caption)
            return;
    addGroupItem(caption, group.toStdString(), BoardView::shortcutFor(static_cast<int>(m_groupItems.size()) + 1));
}

void ViewMenu::addGroupItem(const QString& caption, const std::string& group, const std::string& shortcut)
{
    auto* a = new QAction(caption, m_menu);
    if (!shortcut.empty())
        a->setShortcut(QKeySequence(QString::fromStdString(shortcut)));
    connect(a, &QAction::triggered, this, [this, group] {
        if (m_grid.setFilter(group))
            m_hooks.fit(false);
        checkFilterItem();
    });
    a->setCheckable(true);
    a->setData(QString::fromStdString(group));
    m_filterItems->addAction(a);
    m_menu->insertAction(m_separator, a);
    m_groupItems << a;
}

void ViewMenu::checkFilterItem()
{
    // "All" for no filter, the group's item for a group; nothing while only
    // the own row shows.
    const QString filter = QString::fromStdString(m_grid.view().filter());
    m_all->setChecked(filter.isEmpty());
    for (QAction* a : m_groupItems)
        a->setChecked(!filter.isEmpty() && a->data().toString() == filter);
}

} // namespace qb::board
