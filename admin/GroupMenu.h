// The administrator's group pop-up, shown when he clicks a person's group
// cell: a title, "Create New Group" and one item per group. Choosing or
// creating a group emits groupChosen with the new current group; the board
// writes it into that person's group.
#pragma once

#include "admin/GroupChoice.h"

#include <QMenu>

namespace qb::core {
class PromptService;
}

namespace qb::admin {

class GroupMenu : public QMenu {
    Q_OBJECT
public:
    // The prompt service answers "Create New Group"; it must outlive the menu.
    GroupMenu(core::PromptService* prompts, QWidget* parent = nullptr);

    GroupChoice& choice() { return m_choice; }
    // Fills the items again from the choice (after groups were added).
    void rebuild();

signals:
    void groupChosen(const QString& group);

private:
    void createGroup();
    core::PromptService* m_prompts;
    GroupChoice m_choice;
};

} // namespace qb::admin
