#include "AlertMenu.h"

#include <QTimer>

namespace qb::board {

AlertMenu::AlertMenu(QWidget* parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("errAlert"));
    addAction(QStringLiteral("ALERT:"));
    addSeparator();
    for (auto*& line : m_lines)
        line = addAction(QString());
    addSeparator();
    addAction(QStringLiteral("  [   OK  ]"));
    connect(this, &QMenu::aboutToHide, this, [this] {
        if (m_waiting.isEmpty())
            return;
        // After the menu has closed: a popup from its own hide would not show.
        QTimer::singleShot(0, this, [this] {
            if (m_waiting.isEmpty() || isVisible())
                return;
            const auto next = m_waiting.takeFirst();
            present(next.first, next.second);
        });
    });
}

void AlertMenu::showAlert(const QStringList& lines, QWidget* anchor)
{
    if (isVisible()) {
        if (lines != this->lines())
            m_waiting.append({lines, anchor});
        return;
    }
    present(lines, anchor);
}

void AlertMenu::present(const QStringList& lines, QWidget* anchor)
{
    for (int i = 0; i < 3; ++i) {
        // Plain text: an "&" in a path or name must show, not become a mnemonic.
        QString text = i < lines.size() ? lines[i] : QString();
        m_lines[i]->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
    }
    QWidget* a = anchor ? anchor : parentWidget();
    popup(a ? alertPosition(a->window()) : QPoint(20, 0));
}

QStringList AlertMenu::lines() const
{
    QStringList out;
    for (auto* line : m_lines)
        out << QString(line->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
    return out;
}

QPoint AlertMenu::alertPosition(const QWidget* anchor)
{
    const QRect frame = anchor->frameGeometry();
    return {frame.left() + 20, frame.top() - 5};
}

} // namespace qb::board
