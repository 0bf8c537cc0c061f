// The month calendar drawn by the program: a title with year and month
// arrows, the day-name header and a 6 x 7 grid of day numbers. All rules and
// positions come from CalendarModel and CalendarGeometry; this class turns
// mouse and key events into model calls, raises the signals and paints.
//
// The control sizes itself from its font (fixed size, renewed on a font
// change). Enter and Escape raise their signals and are then passed on to
// the parent, so a dialog can still use them.
#pragma once

#include "CalendarGeometry.h"
#include "CalendarModel.h"

#include <QColor>
#include <QStringList>
#include <QWidget>

namespace qb::planner {

class TCalendar97 : public QWidget {
    Q_OBJECT
public:
    struct Colors {
        QColor arrow = Qt::black;
        QColor date = Qt::black;     // Monday to Friday
        QColor weekend = Qt::red;    // Saturday and Sunday
        QColor title = QColor(0, 0, 128);
        QColor marked = Qt::blue;    // for marked dates; none are marked yet
    };

    explicit TCalendar97(QWidget* parent = nullptr);

    double date() const { return m_model.date(); }
    // Moves the selection to the day of dateTime and repaints; lays out a new
    // month when needed. Raises no date-change signal (the caller knows).
    // Dates outside the years 1 to 9999 are ignored.
    void setDate(double dateTime);

    int startOfWeek() const { return m_model.startOfWeek(); }
    // 1 = Monday ... 7 = Sunday; other values are ignored.
    void setStartOfWeek(int startOfWeek);

    // Two-letter names Monday to Sunday. A list not of 7 names is ignored.
    QStringList dayNames() const { return m_dayNames; }
    void setDayNames(const QStringList& names);
    // January to December. A list not of 12 names is ignored.
    QStringList monthNames() const { return m_monthNames; }
    void setMonthNames(const QStringList& names);

    Colors colors() const { return m_colors; }
    void setColors(const Colors& colors);

    // Read-only views for the window and for tests.
    const CalendarModel& model() const { return m_model; }
    const CalendarGeometry& geometryInfo() const { return m_geometry; }
    // The title as drawn: month name, a blank and the year.
    QString titleText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // After every move of the date by key, arrow or mouse.
    void dateChanged(double dateTime);
    // Mouse released over a day of the shown month.
    void dateClicked(double dateTime);
    void enterPressed();
    void escapePressed();
    void focusLost();
    void beforeNewMonth();
    void afterNewMonth();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();
    void applyMove(CalendarMove move);
    void afterUserChange(bool changed);
    void paintArrow(class QPainter& p, CalendarGeometry::Part arrow) const;

    CalendarModel m_model;
    CalendarGeometry m_geometry { 1, 1 };
    QStringList m_dayNames;
    QStringList m_monthNames;
    Colors m_colors;
    bool m_dragging = false;
    CalendarGeometry::Part m_pressed = CalendarGeometry::Part::Nothing;
};

} // namespace qb::planner
