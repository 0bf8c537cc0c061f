#include "board/ExitController.h"

#include "board/ExitPanel.h"

#include <QApplication>
#include <QEventLoop>
#include <QLayout>
#include <QMainWindow>
#include <QTimer>

namespace qb::board {

ExitController::ExitController(Station& station, Board& board, RemarkLog& log, QMainWindow* window,
                               QWidget* content, Hooks hooks)
    : QObject(window), m_station(station), m_board(board), m_logic(station, board, log), m_window(window),
      m_content(content), m_panel(new ExitPanel(window->centralWidget())), m_hooks(std::move(hooks))
{
    if (QLayout* layout = window->centralWidget()->layout())
        layout->addWidget(m_panel);
}

bool ExitController::request()
{
    const int savedPoll = m_board.pollCounter;
    m_board.pollCounter = kPollParked;
    const bool wasVisible = m_window->isVisible();
    if (m_logic.endsAtOnce(m_hooks.loggedIn()))
        return true;

    m_hooks.saveSettings();
    const InOutRemarks remarks = m_hooks.remarks();
    const ExitPanelState state = m_logic.prepare(remarks);
    bool exit = true;
    ExitPick pick = state.checked;
    const QSize oldSize = m_window->size();

    if (state.confirm) {
        m_panel->present(state);
        m_content->hide();
        m_panel->show();
        m_panel->adjustSize();
        m_window->resize(m_panel->sizeHint() + QSize(16, 16 + (m_window->size() - m_window->centralWidget()->size()).height()));
        if (wasVisible) {
            // The board keeps painting and its timers run while the user
            // decides; a modal window of the program counts as an answer
            // that leaves the decision at exit.
            QEventLoop wait;
            bool answered = false;
            auto done = connect(m_panel, &ExitPanel::answered, &wait, [&](bool yes) {
                answered = true;
                exit = yes;
                if (yes)
                    m_hooks.answeredYes();
                wait.quit();
            });
            QTimer watch;
            connect(&watch, &QTimer::timeout, &wait, [&] {
                if (!m_window->isVisible() || !m_window->isEnabled() || QApplication::closingDown())
                    wait.quit();
            });
            watch.start(100);
            wait.exec();
            disconnect(done);
            if (!answered)
                exit = true;
        }
        pick = m_panel->checked();
        m_panel->hide();
    }

    if (exit) {
        m_window->hide();
    } else {
        m_content->show();
        m_board.pollCounter = 0;
    }
    if (exit) {
        m_logic.leave(state, pick, remarks);
        QCoreApplication::processEvents();
        return true;
    }
    if (!wasVisible)
        return true;
    m_window->resize(oldSize);
    m_board.pollCounter = savedPoll == kPollParked ? 0 : savedPoll;
    return false;
}

} // namespace qb::board
