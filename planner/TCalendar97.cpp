#include "TCalendar97.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <qdrawutil.h>

#include <algorithm>

namespace qb::planner {

namespace {
using Part = CalendarGeometry::Part;

bool isArrow(Part part)
{
    return part == Part::YearBackArrow || part == Part::MonthBackArrow || part == Part::MonthForwardArrow
        || part == Part::YearForwardArrow;
}

CalendarMove moveOfArrow(Part arrow)
{
    switch (arrow) {
    case Part::YearBackArrow:
        return CalendarMove::YearBack;
    case Part::MonthBackArrow:
        return CalendarMove::MonthBack;
    case Part::MonthForwardArrow:
        return CalendarMove::MonthForward;
    default:
        return CalendarMove::YearForward;
    }
}

// Column 0..6 of the grid shows weekday (1 = Monday) ...
int weekdayOfColumn(int column, int startOfWeek)
{
    return (startOfWeek - 1 + column) % 7 + 1;
}

QFont boldOf(QFont f)
{
    f.setBold(true);
    return f;
}
} // namespace

TCalendar97::TCalendar97(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QLocale locale = QLocale::system();
    for (int d = 1; d <= 7; ++d)
        m_dayNames << locale.dayName(d, QLocale::ShortFormat).left(2);
    for (int m = 1; m <= 12; ++m)
        m_monthNames << locale.monthName(m, QLocale::LongFormat);
    m_model.beforeNewMonth = [this] { emit beforeNewMonth(); };
    m_model.afterNewMonth = [this] { emit afterNewMonth(); };
    relayout();
}

void TCalendar97::setDate(double dateTime)
{
    if (m_model.setDate(dateTime))
        update();
}

void TCalendar97::setStartOfWeek(int startOfWeek)
{
    if (m_model.setStartOfWeek(startOfWeek))
        update();
}

void TCalendar97::setDayNames(const QStringList& names)
{
    if (names.size() != 7)
        return;
    m_dayNames = names;
    relayout();
}

void TCalendar97::setMonthNames(const QStringList& names)
{
    if (names.size() != 12)
        return;
    m_monthNames = names;
    relayout();
}

void TCalendar97::setColors(const Colors& colors)
{
    m_colors = colors;
    update();
}

QString TCalendar97::titleText() const
{
    return m_monthNames.value(m_model.month() - 1) + QLatin1Char(' ') + QString::number(m_model.year());
}

QSize TCalendar97::sizeHint() const
{
    return m_geometry.size();
}

QSize TCalendar97::minimumSizeHint() const
{
    return m_geometry.size();
}

void TCalendar97::relayout()
{
    QFontMetrics fm(font());
    QFontMetrics bold(boldOf(font()));
    int digit = std::max(bold.horizontalAdvance(QStringLiteral("00")) / 2, fm.horizontalAdvance(QLatin1Char('0')));
    for (const QString& n : m_dayNames)
        digit = std::max(digit, (fm.horizontalAdvance(n) + 1) / 2);
    int title = 0;
    for (const QString& n : m_monthNames)
        title = std::max(title, bold.horizontalAdvance(n + QStringLiteral(" 0000")));
    m_geometry = CalendarGeometry(digit, fm.height(), title);
    setFixedSize(m_geometry.size());
    updateGeometry();
    update();
}

void TCalendar97::applyMove(CalendarMove move)
{
    afterUserChange(m_model.move(move));
}

void TCalendar97::afterUserChange(bool changed)
{
    if (!changed)
        return;
    update();
    emit dateChanged(m_model.date());
}

// --- input -------------------------------------------------------------------

void TCalendar97::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        applyMove(CalendarMove::DayBack);
        break;
    case Qt::Key_Right:
        applyMove(CalendarMove::DayForward);
        break;
    case Qt::Key_Up:
        applyMove(CalendarMove::WeekBack);
        break;
    case Qt::Key_Down:
        applyMove(CalendarMove::WeekForward);
        break;
    case Qt::Key_PageUp:
        applyMove(CalendarMove::MonthBack);
        break;
    case Qt::Key_PageDown:
        applyMove(CalendarMove::MonthForward);
        break;
    case Qt::Key_End:
        applyMove(CalendarMove::YearBack);
        break;
    case Qt::Key_Home:
        applyMove(CalendarMove::YearForward);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit enterPressed();
        event->ignore();
        return;
    case Qt::Key_Escape:
        emit escapePressed();
        event->ignore();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TCalendar97::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    CalendarGeometry::Hit hit = m_geometry.hitTest(event->position().toPoint());
    if (isArrow(hit.part)) {
        m_pressed = hit.part;
        update(m_geometry.arrowRect(hit.part));
        applyMove(moveOfArrow(hit.part));
    } else if (hit.part == Part::CancelBox) {
        m_pressed = hit.part;
        update(m_geometry.cancelBoxRect());
        emit escapePressed();
    } else if (hit.part == Part::Cell && m_model.dayInCell(hit.cell) != 0) {
        m_dragging = true;
        afterUserChange(m_model.selectCell(hit.cell));
    }
    event->accept();
}

void TCalendar97::mouseMoveEvent(QMouseEvent* event)
{
    CalendarGeometry::Hit hit = m_geometry.hitTest(event->position().toPoint());
    int cell = hit.part == Part::Cell ? hit.cell : CalendarModel::kNoCell;
    if (m_model.setHoverCell(cell))
        update();
    if (m_dragging && (event->buttons() & Qt::LeftButton) && cell != CalendarModel::kNoCell)
        afterUserChange(m_model.selectCell(cell));
    event->accept();
}

void TCalendar97::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    if (m_pressed != Part::Nothing) {
        m_pressed = Part::Nothing;
        update();
    }
    CalendarGeometry::Hit hit = m_geometry.hitTest(event->position().toPoint());
    if (hit.part == Part::Cell && m_model.dayInCell(hit.cell) != 0)
        emit dateClicked(m_model.date());
    event->accept();
}

void TCalendar97::leaveEvent(QEvent* event)
{
    if (m_model.setHoverCell(CalendarModel::kNoCell))
        update();
    QWidget::leaveEvent(event);
}

void TCalendar97::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void TCalendar97::focusOutEvent(QFocusEvent* event)
{
    update();
    emit focusLost();
    QWidget::focusOutEvent(event);
}

void TCalendar97::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        relayout();
    QWidget::changeEvent(event);
}

// --- painting ----------------------------------------------------------------

void TCalendar97::paintArrow(QPainter& p, Part arrow) const
{
    QRect r = m_geometry.arrowRect(arrow);
    qDrawShadePanel(&p, r, palette(), m_pressed == arrow, 1, nullptr);
    bool back = arrow == Part::YearBackArrow || arrow == Part::MonthBackArrow;
    int count = arrow == Part::YearBackArrow || arrow == Part::YearForwardArrow ? 2 : 1;
    int h = std::max(r.height() / 2 - 1, 3);
    if (h % 2 == 0)
        ++h;
    int w = (h + 1) / 2;
    int total = count * w + (count - 1);
    int x0 = r.center().x() - total / 2 + (m_pressed == arrow ? 1 : 0);
    int yMid = r.center().y() + (m_pressed == arrow ? 1 : 0);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(m_colors.arrow);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < count; ++i) {
        int x = x0 + i * (w + 1);
        QPolygon tri;
        if (back)
            tri << QPoint(x, yMid) << QPoint(x + w, yMid - w) << QPoint(x + w, yMid + w);
        else
            tri << QPoint(x + w, yMid) << QPoint(x, yMid - w) << QPoint(x, yMid + w);
        p.drawPolygon(tri);
    }
    p.restore();
}

void TCalendar97::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    QRect all = rect();
    p.fillRect(all, pal.color(QPalette::Button));
    qDrawShadePanel(&p, all, pal, false, m_geometry.frameWidth(), nullptr);

    // Title with the arrows on each side.
    p.setFont(boldOf(font()));
    p.setPen(m_colors.title);
    p.drawText(m_geometry.titleRect(), Qt::AlignCenter, titleText());
    for (Part arrow : { Part::YearBackArrow, Part::MonthBackArrow, Part::MonthForwardArrow, Part::YearForwardArrow })
        paintArrow(p, arrow);

    // Day names from the first day of the week, over an etched line.
    p.setFont(font());
    const int sow = m_model.startOfWeek();
    for (int c = 0; c < 7; ++c) {
        int wd = weekdayOfColumn(c, sow);
        p.setPen(wd >= 6 ? m_colors.weekend : m_colors.date);
        p.drawText(m_geometry.headerCellRect(c), Qt::AlignCenter, m_dayNames.value(wd - 1));
    }
    QRect header = m_geometry.headerRect();
    int lineY = m_geometry.headerLineY();
    qDrawShadeLine(&p, QPoint(header.left(), lineY), QPoint(header.right(), lineY), pal, true, 1, 0);

    // The days.
    const int selected = m_model.selectedCell();
    const int hover = m_model.hoverCell();
    for (int cell = 0; cell < CalendarModel::kCells; ++cell) {
        int day = m_model.dayInCell(cell);
        if (day == 0)
            continue;
        QRect r = m_geometry.cellRect(cell).adjusted(1, 1, -1, -1);
        int wd = weekdayOfColumn(cell % 7, sow);
        if (cell == hover)
            qDrawShadePanel(&p, r, pal, true, 1, nullptr);
        else if (cell == selected)
            qDrawShadePanel(&p, r, pal, false, 1, nullptr);
        p.setFont(cell == selected ? boldOf(font()) : font());
        p.setPen(wd >= 6 ? m_colors.weekend : m_colors.date);
        p.drawText(r, Qt::AlignCenter, QString::number(day));
        if (cell == selected && hasFocus()) {
            // Drawn by hand: some styles show focus only after a Tab press,
            // and the selected day should show it however focus came.
            p.save();
            p.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(2, 2, -3, -3));
            p.restore();
        }
    }

    // The cancel box: a small raised button with a cross.
    QRect box = m_geometry.cancelBoxRect();
    bool boxDown = m_pressed == Part::CancelBox;
    qDrawShadePanel(&p, box, pal, boxDown, 1, nullptr);
    QRect cross = box.adjusted(3, 3, -3, -3).translated(boxDown ? 1 : 0, boxDown ? 1 : 0);
    p.setPen(QPen(m_colors.arrow, 1));
    p.drawLine(cross.topLeft(), cross.bottomRight());
    p.drawLine(cross.topRight(), cross.bottomLeft());
}

} // namespace qb::planner
