#include "AlertMenu.h"

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
}

void AlertMenu::showAlert(const QStringList& lines, QWidget* anchor)
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
