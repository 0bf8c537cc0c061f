// The main window's status bar: the server's state (offline or a damaged
// names table, ServerState), the outcome of the last change that was not
// saved (WriteStatus), one above the other, and passing notes. The bar shows
// only while it has something to say, and the window grows or shrinks by
// it so the board's rows keep their room.
#pragma once

#include <QObject>

class QLabel;
class QMainWindow;

namespace qb::board {

class BoardStatusBar : public QObject {
    Q_OBJECT
public:
    // Builds the labels into window's status bar.
    explicit BoardStatusBar(QMainWindow* window);

    void setServerState(const QString& text);
    void setWriteStatus(const QString& text);
    // The room the bar takes now (0 while hidden).
    int height() const { return m_height; }

private:
    void update();

    QMainWindow* m_window;
    QLabel* m_serverState = nullptr;
    QLabel* m_writeStatus = nullptr;
    int m_height = 0;
};

} // namespace qb::board
