// The exit confirmation on the board window: "Do you want to exit?" with
// "&Yes" and "&No", and the group "After exiting, my remark will be: " with
// In, Out and the current remark (InButton1, OutButton1, CurrentButton3).
// ExitController decides what it shows and waits for the answer.
#pragma once

#include "board/ExitLogic.h"

#include <QFrame>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace qb::board {

class ExitPanel : public QFrame {
    Q_OBJECT
public:
    explicit ExitPanel(QWidget* parent = nullptr);

    // Captions, colours, which choices show and which is checked.
    void present(const ExitPanelState& state);
    ExitPick checked() const;

signals:
    // "&Yes" (true) or "&No" (false).
    void answered(bool exit);

private:
    QGroupBox* m_group;
    QRadioButton* m_in;
    QRadioButton* m_out;
    QRadioButton* m_current;
};

} // namespace qb::board
