#include "GroupMenu.h"

#include "core/PromptService.h"

namespace qb::admin {

GroupMenu::GroupMenu(core::PromptService* prompts, QWidget* parent) : QMenu(parent), m_prompts(prompts)
{
    setObjectName(QStringLiteral("GroupMenu"));
    rebuild();
}

void GroupMenu::rebuild()
{
    clear();
    QAction* title = addAction(QString::fromLatin1(GroupChoice::kTitle));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setObjectName(QStringLiteral("GroupMenuTitle")); // a heading: choosing it does nothing
    addSeparator();
    QAction* create = addAction(QString::fromLatin1(GroupChoice::kCreateItem));
    create->setObjectName(QStringLiteral("CreateNewGroup"));
    connect(create, &QAction::triggered, this, [this] { createGroup(); });
    addSeparator();
    for (const std::string& item : m_choice.items()) {
        const QString caption = QString::fromStdString(item);
        // Captions hold no "&" (shown as "+"), so none is taken as a shortcut marker.
        QAction* a = addAction(caption);
        connect(a, &QAction::triggered, this, [this, item] {
            m_choice.select(item);
            emit groupChosen(QString::fromStdString(m_choice.current()));
        });
    }
}

void GroupMenu::createGroup()
{
    if (!m_prompts)
        return;
    const bool made = m_choice.create(m_prompts->askText(GroupChoice::kPromptTitle, "Group:", false, m_choice.current()));
    rebuild();
    if (made)
        emit groupChosen(QString::fromStdString(m_choice.current()));
}

} // namespace qb::admin
