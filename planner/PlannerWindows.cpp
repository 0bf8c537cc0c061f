#include "PlannerWindows.h"

#include "core/Dialogs.h"
#include "planner/TInfoScrn1.h"
#include "planner/TWeekPlan.h"
#include "ui/MenuRegistry.h"

#include <QWidget>

namespace qb::planner {

PlannerWindows::PlannerWindows(engine::Engine& engine, const QString& dataDir, const platform::Clock& clock,
                               core::Dialogs& dialogs, QWidget* board, std::function<bool()> everyoneMayChangeInfo)
    : m_board(board), m_everyoneMayChangeInfo(std::move(everyoneMayChangeInfo)),
      m_planner(std::make_unique<TWeekPlan>(engine, dataDir, clock, &dialogs, board)),
      m_info(std::make_unique<TInfoScrn1>(engine, dataDir, board))
{
    m_info->setDialogs(&dialogs);
    connect(m_info.get(), &TInfoScrn1::helpRequested, this, &PlannerWindows::helpRequested);
}

PlannerWindows::~PlannerWindows() = default;

void PlannerWindows::showPlanner(const ui::MenuContext& c)
{
    if (c.target < 1)
        return;
    // The owner, or whoever may change others' remarks (the administrator
    // may change every row).
    const bool editable = c.admin || plannerEditable(c.target, c.ownIndex, c.option(1));
    m_planner->setOwner(c.target, QString::fromStdString(c.targetName), editable);
    if (m_board)
        m_planner->setAnchor(m_board->frameGeometry().topLeft());
    m_planner->exec();
}

void PlannerWindows::showInformation(int ident, const QString& name, const ui::MenuContext& c)
{
    if (ident < 1)
        return;
    m_info->setPerson(ident, name, c.admin ? 0 : c.ownIndex, c.admin,
                      m_everyoneMayChangeInfo && m_everyoneMayChangeInfo());
    m_info->exec();
}

void installPlannerMenus(ui::MenuRegistry& menus, PlannerWindows& windows)
{
    auto item = [](const char* key, int order, const char* text, const char* objectName) {
        ui::MenuItem i;
        i.key = key;
        i.place = ui::MenuPlace::NamePopup;
        i.order = order;
        i.text = QString::fromLatin1(text);
        i.objectName = QString::fromLatin1(objectName);
        i.enabled = [](const ui::MenuContext& c) { return c.loggedIn && c.target >= 1; };
        return i;
    };
    ui::MenuItem planner = item("planner.popupPlanner", ui::menuorder::kPopupPlanner, "&Planner", "PopupPlanner");
    planner.run = [&windows](const ui::MenuContext& c) { windows.showPlanner(c); };
    menus.install(std::move(planner));
    ui::MenuItem info =
        item("planner.popupInformation", ui::menuorder::kPopupInformation, "&Information", "PopupInformation");
    info.run = [&windows](const ui::MenuContext& c) {
        windows.showInformation(c.target, QString::fromStdString(c.targetName), c);
    };
    menus.install(std::move(info));
}

} // namespace qb::planner
