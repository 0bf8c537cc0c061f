// The View menu: "All" (F2), an item per group (with its shortcut), the font
// sizes and "Autosize Columns". The current filter and font size carry a
// check mark. The group items are built once from the board's view and
// again after Show Names emptied them.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <string>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace qb::board {

class BoardGrid;

class ViewMenu : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The window fits itself to the rows shown; naturalWidth: to exactly
        // the columns' width (after a smaller font).
        std::function<void(bool naturalWidth)> fit;
        // A font size was chosen (the grid has it already).
        std::function<void(int size)> fontChosen;
    };

    // Adds the menu to bar. grid must outlive the menu.
    ViewMenu(QMenuBar* bar, BoardGrid& grid, Hooks hooks);

    // The group items from the board's view, unless they are there already.
    void rebuild();
    // The group items go; the next rebuild makes them from a new load.
    void forgetGroups();
    // "All": every row shown.
    void showAll();
    // Captions of the group items (all but "All").
    QStringList groups() const;
    // An item for a group none of the items has yet ("&" reads "+").
    void addGroup(const QString& group);

private:
    void addGroupItem(const QString& caption, const std::string& group, const std::string& shortcut);
    void checkFilterItem();

    BoardGrid& m_grid;
    Hooks m_hooks;
    QMenu* m_menu = nullptr;
    QActionGroup* m_filterItems = nullptr;
    QActionGroup* m_fontItems = nullptr;
    QAction* m_all = nullptr;
    QAction* m_separator = nullptr;
    QList<QAction*> m_groupItems;
};

} // namespace qb::board
