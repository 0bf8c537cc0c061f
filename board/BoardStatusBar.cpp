#include "BoardStatusBar.h"

#include "board/BoardWindowLogic.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QVBoxLayout>

namespace qb::board {

BoardStatusBar::BoardStatusBar(QMainWindow* window) : QObject(window), m_window(window)
{
    auto* status = window->statusBar();
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    // One above the other, each as wide as the window.
    auto* lines = new QWidget(status);
    auto* stack = new QVBoxLayout(lines);
    stack->setContentsMargins(2, 2, 2, 2);
    stack->setSpacing(2);
    m_serverState = new QLabel(lines);
    m_serverState->setObjectName(QStringLiteral("ServerState"));
    // One line each, cut by a narrow window; the tip holds the whole text.
    m_serverState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_serverState->setStyleSheet(QStringLiteral("QLabel { color: #a00000; font-weight: bold; }"));
    m_writeStatus = new QLabel(lines);
    m_writeStatus->setObjectName(QStringLiteral("WriteStatus"));
    m_writeStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_writeStatus->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
    stack->addWidget(m_serverState);
    stack->addWidget(m_writeStatus);
    status->addWidget(lines, 1);
    connect(status, &QStatusBar::messageChanged, this, &BoardStatusBar::update);
    update();
}

void BoardStatusBar::setServerState(const QString& text)
{
    m_serverState->setText(text);
    m_serverState->setToolTip(text);
    update();
}

void BoardStatusBar::setWriteStatus(const QString& text)
{
    m_writeStatus->setText(text);
    m_writeStatus->setToolTip(text);
    update();
}

void BoardStatusBar::update()
{
    int linesHeight = 0;
    int lines = 0;
    for (QLabel* label : {m_serverState, m_writeStatus}) {
        label->setVisible(!label->text().isEmpty());
        if (!label->isHidden()) {
            linesHeight += label->sizeHint().height();
            ++lines;
        }
    }
    QStatusBar* bar = m_window->statusBar();
    const int height = statusBarHeight(linesHeight, lines, !bar->currentMessage().isEmpty(), bar->sizeHint().height());
    bar->setVisible(height > 0);
    // The rows keep their room: the window grows or shrinks by the bar.
    const int delta = height - m_height;
    m_height = height;
    if (delta != 0 && m_window->isVisible() && !m_window->isMaximized())
        m_window->resize(m_window->width(), m_window->height() + delta);
}

} // namespace qb::board
