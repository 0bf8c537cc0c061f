// Record navigator: ten buttons (First, Prior, Next, Last, Insert, Delete,
// Edit, Post, Cancel, Refresh) acting on a table component. The buttons'
// enabling and actions live in NavigatorLogic.h.
#pragma once

#include "engine/controls/NavigatorLogic.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <set>

class QToolButton;

namespace qb::engine {

using ENavClick = std::function<void(QObject* sender, TNavigateBtn button)>;

class TTzNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TTzNavigator(QWidget* parent = nullptr);

    TTzDataSource* dataSource() const { return m_link.dataSource(); }
    void setDataSource(TTzDataSource* source);

    // Buttons shown; the others are hidden. All ten by default.
    void setVisibleButtons(const std::set<TNavigateBtn>& buttons);
    // One hint per button in button order, at most ten; an empty line keeps
    // the built-in hint.
    void setHints(const QStringList& hints);
    QString hint(TNavigateBtn b) const;

    bool confirmDelete = true;
    bool confirmRestore = true;
    // Answers the delete/restore questions; a Yes/No message box by default.
    std::function<bool(const std::string&)> confirm;
    // Fires after a button acted (also when the action was refused).
    ENavClick onClick;

    // Carries out a click on b, as the button would.
    void click(TNavigateBtn b);
    bool buttonEnabled(TNavigateBtn b) const;
    QToolButton* button(TNavigateBtn b) const { return m_buttons[static_cast<std::size_t>(b)]; }
    // Re-evaluates which buttons are enabled.
    void updateButtons();

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    TNavDataLink m_link;
    bool m_iconsSet = false;
    std::array<QToolButton*, kNavButtonCount> m_buttons{};
};

} // namespace qb::engine
