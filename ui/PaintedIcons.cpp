#include "PaintedIcons.h"

#include <QPainter>
#include <QPixmap>

namespace qb::ui::icons {

namespace {

// 32×32 pixels on a transparent ground, painted by draw.
template <class Draw>
QIcon painted(bool antialiased, Draw draw)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, antialiased);
    draw(p);
    p.end();
    return QIcon(pm);
}

} // namespace

QIcon board()
{
    return painted(true, [](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(QColor(245, 245, 235));
        p.drawRoundedRect(2, 3, 28, 26, 3, 3);
        const QColor rows[] = {QColor(0, 200, 0), QColor(230, 0, 0), QColor(0, 200, 0)};
        for (int i = 0; i < 3; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(rows[i]);
            p.drawRect(7, 8 + i * 7, 18, 4);
        }
    });
}

QIcon lamp(const QColor& fill)
{
    return painted(true, [&](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(fill);
        p.drawEllipse(4, 4, 24, 24);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 110));
        p.drawEllipse(10, 8, 8, 6);
    });
}

QIcon card()
{
    return painted(true, [](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(QColor(250, 250, 240));
        p.drawRoundedRect(3, 6, 26, 20, 3, 3);
        p.setBrush(QColor(0, 170, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(7, 10, 8, 8);
        p.setBrush(QColor(90, 90, 90));
        p.drawRect(18, 11, 8, 2);
        p.drawRect(18, 16, 8, 2);
        p.drawRect(7, 21, 19, 2);
    });
}

QIcon pickList()
{
    return painted(false, [](QPainter& p) {
        p.setPen(QPen(Qt::black, 1));
        const QColor bars[] = {QColor(0, 255, 0), QColor(255, 255, 0), QColor(255, 0, 0)};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(bars[i]);
            p.drawRect(4, 4 + i * 9, 24, 7);
        }
    });
}

QIcon calendarLeaf()
{
    // Navy band, white page, a red day among grey ones.
    return painted(true, [](QPainter& p) {
        p.setPen(QPen(QColor(0, 0, 128), 1.5));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(3.5, 5.5, 25, 23), 2, 2);
        p.fillRect(QRectF(4, 6, 24, 6), QColor(0, 0, 128));
        p.setPen(Qt::NoPen);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                p.setBrush(r == 1 && c == 2 ? QColor(Qt::red) : QColor(90, 90, 90));
                p.drawRect(QRectF(7 + c * 5.2, 15 + r * 4.3, 3, 2.5));
            }
        }
    });
}

QIcon envelope(const QColor& paper, const QColor& mark, bool exclamation)
{
    return painted(true, [&](QPainter& p) {
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(paper);
        p.drawRect(QRectF(2.5, 7.5, 27, 18));
        p.drawLine(QPointF(2.5, 7.5), QPointF(16, 18));
        p.drawLine(QPointF(29.5, 7.5), QPointF(16, 18));
        if (exclamation) {
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(QRectF(18, 0, 14, 14));
            p.setPen(QPen(Qt::white, 2.5));
            p.drawLine(QPointF(25, 3), QPointF(25, 8.5));
            p.drawPoint(QPointF(25, 11.5));
        }
    });
}

} // namespace qb::ui::icons
