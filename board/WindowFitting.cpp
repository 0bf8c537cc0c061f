#include "WindowFitting.h"

#include "board/BoardGrid.h"
#include "board/BoardStatusBar.h"
#include "board/BoardWindowLogic.h"
#include "board/LocalSettings.h"
#include "board/LoginPanel.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

namespace qb::board {

WindowFitting::WindowFitting(QMainWindow& window, BoardGrid& grid, LoginPanel& panel, BoardStatusBar& status)
    : m_window(window), m_grid(grid), m_panel(panel), m_status(status)
{
}

QRect WindowFitting::screen() const
{
    return m_window.screen() ? m_window.screen()->availableGeometry() : QRect(0, 0, 1280, 800);
}

int WindowFitting::chromeHeight() const { return m_window.menuBar()->sizeHint().height() + m_status.height(); }

void WindowFitting::toRows(bool naturalWidth)
{
    if (!m_grid.isVisible())
        return;
    const QRect screen = this->screen();
    FitInput in;
    in.screenLeft = screen.left();
    in.screenTop = screen.top();
    in.screenWidth = screen.width();
    in.screenHeight = screen.height();
    in.x = m_window.x();
    in.y = m_window.y();
    in.width = m_window.width();
    in.decoration = std::max(0, m_window.frameGeometry().width() - m_window.width());
    in.maximised = m_window.isMaximized();
    // One resize with the final size: on some desktops a resize takes effect
    // only later, so width() cannot be read back in between.
    const int w = fittedWidth(in, in.maximised ? 0 : m_grid.naturalWidth(screen.height()), naturalWidth);
    bool capped = false;
    const int client = m_grid.fittedClientHeight(screen.height(), in.maximised, &capped, w);
    const FitMove move = fittedMove(in, w, capped);
    if (move.move)
        m_window.move(move.left, move.top);
    m_window.resize(w, client + chromeHeight());
    // When the size did not change there is no resize event to autosize.
    m_grid.autosizeColumns();
}

void WindowFitting::toPanel()
{
    const int w = m_panel.neededWidth();
    m_window.resize(w, m_panel.sizeHint().height() + chromeHeight());
}

void WindowFitting::toSettings(const LocalSettings& settings)
{
    const QRect screen = this->screen();
    const WindowGeometry g = settings.geometryFor(screen.width(), screen.height());
    m_window.move(g.left, g.top);
    const int panelHeight =
        2 * m_grid.findBox()->sizeHint().height() + m_panel.sizeHint().height() + m_panel.y() + 10;
    m_window.resize(g.width, std::max(g.height, panelHeight));
}

void WindowFitting::afterLogin(const LocalSettings& settings, bool adminMode)
{
    const QRect screen = this->screen();
    const WindowGeometry g = settings.geometryFor(screen.width(), screen.height());
    m_window.resize(g.width, adminMode ? m_window.height() : g.height);
    toRows();
}

} // namespace qb::board
