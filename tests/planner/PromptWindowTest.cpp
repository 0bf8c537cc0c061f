// The prompt window and the month calendar driven as a user would: Qt Test
// key and mouse clicks on the offscreen widgets, a fake clock for "now".
#include "planner/TCalendar97.h"
#include "planner/TPickDT.h"
#include "platform/Clock.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/FakeClock.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using qb::planner::CalendarGeometry;
using qb::planner::TCalendar97;
using qb::planner::TPickDT;
namespace platform = qb::platform;

namespace {

platform::Clock::TimePoint localTime(int y, int mo, int d, int h, int mi)
{
    return platform::fromLocal(qb::test::localTime(y, mo, d, h, mi));
}

double dateOf(int y, int m, int d, double timeOfDay = 0.0)
{
    return static_cast<double>(platform::daySerial(y, m, d)) + timeOfDay;
}

QPushButton* buttonWithText(QWidget* root, const QString& text)
{
    for (QPushButton* b : root->findChildren<QPushButton*>()) {
        if (b->text() == text && b->isVisibleTo(root))
            return b;
    }
    return nullptr;
}

void click(QWidget* root, const QString& text)
{
    QPushButton* b = buttonWithText(root, text);
    QVERIFY2(b, qPrintable(QStringLiteral("no visible button ") + text));
    QTest::mouseClick(b, Qt::LeftButton);
}

QPoint cellCenter(const TCalendar97& cal, int day)
{
    return cal.geometryInfo().cellRect(cal.model().cellOfDay(day)).center();
}

void dragTo(QWidget* w, QPoint pos)
{
    QMouseEvent ev(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

} // namespace

class TestPromptWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_clock.set(localTime(2024, 5, 15, 10, 20));
        m_dlg = new TPickDT(m_clock);
        m_dialogs = qb::testing::ScriptedDialogs();
        m_dlg->setDialogs(&m_dialogs);
    }
    void cleanup()
    {
        delete m_dlg;
        m_dlg = nullptr;
    }

    // --- time mode ---------------------------------------------------------
    void timeModeShowsOnlyTheTimePanelWithThePresentTime()
    {
        m_dlg->prepareTime();
        m_dlg->open();
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Select Date"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 10:20 am "));
        QCOMPARE(m_dlg->timeResult(), QString());
        QVERIFY(m_dlg->findChild<QWidget*>("TimePanel")->isVisible());
        QVERIFY(!m_dlg->findChild<QWidget*>("GetDate")->isVisible());
        QVERIFY(!m_dlg->findChild<QWidget*>("GetText40")->isVisible());
        QWidget* panel = m_dlg->findChild<QWidget*>("TimePanel");
        QCOMPARE(m_dlg->width(), panel->width() + 10);
        QCOMPARE(m_dlg->height(), panel->height() + 8);
        QCOMPARE(panel->y(), 3);
    }

    void quickButtonsChangeTheField()
    {
        m_dlg->prepareTime();
        m_dlg->open();
        m_dlg->timeField()->setText(QStringLiteral(" 11:50 pm"));
        click(m_dlg, QStringLiteral("+ 0:15"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 12:05 am"));
        click(m_dlg, QStringLiteral("12:00 p"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 12:00 pm"));
        click(m_dlg, QStringLiteral("8:00 a"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 08:00 am"));
        click(m_dlg, QStringLiteral("+ 0.05"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 08:05 am"));
        m_clock.set(localTime(2024, 5, 15, 15, 41));
        click(m_dlg, QStringLiteral("&Now"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral(" 03:41 pm"));
        QVERIFY(m_dialogs.messageTexts().isEmpty());

        click(m_dlg, QStringLiteral("&OK"));
        QVERIFY(m_dlg->confirmed());
        QCOMPARE(m_dlg->timeResult(), QStringLiteral(" 03:41 pm"));
        QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
    }

    void unparsableTimeStaysAndIsReported()
    {
        m_dlg->prepareTime();
        m_dlg->open();
        m_dlg->timeField()->setText(QStringLiteral("after lunch"));
        click(m_dlg, QStringLiteral("+ 1:00"));
        QCOMPARE(m_dlg->timeField()->text(), QStringLiteral("after lunch"));
        QCOMPARE(m_dialogs.messageTexts(), QStringList { QStringLiteral("'after lunch' is not a valid time") });
    }

    void preparingTimeAgainEmptiesTheOldResult()
    {
        m_dlg->prepareTime();
        m_dlg->open();
        click(m_dlg, QStringLiteral("2:00 p"));
        click(m_dlg, QStringLiteral("&OK"));
        QCOMPARE(m_dlg->timeResult(), QStringLiteral(" 02:00 pm"));
        m_dlg->prepareTime();
        QCOMPARE(m_dlg->timeResult(), QString());
    }

    // --- text mode ---------------------------------------------------------
    void hiddenTextTakesEightCharactersShownAsAsterisks()
    {
        m_dlg->prepareText(QStringLiteral("Change Password"), QStringLiteral("New password:"), true);
        m_dlg->open();
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Change Password"));
        QCOMPARE(m_dlg->promptLabel()->text(), QStringLiteral("New password:"));
        QLineEdit* field = m_dlg->textField();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, QStringLiteral("abcdefghijk"));
        QCOMPARE(field->text(), QStringLiteral("abcdefgh"));
        QCOMPARE(field->displayText(), QStringLiteral("********"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(m_dlg->confirmed());
        QCOMPARE(m_dlg->textResult(), QStringLiteral("abcdefgh"));
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(field->text(), QString()); // the password does not linger in the window
    }

    void plainTextAfterHiddenIsShownAndTakes120()
    {
        m_dlg->prepareText(QStringLiteral("Change Password"), QStringLiteral("New password:"), true);
        m_dlg->prepareText(QStringLiteral("Customize Remark"), QStringLiteral("Enter remark"), false);
        m_dlg->open();
        QLineEdit* field = m_dlg->textField();
        QTest::keyClicks(field, QString(130, QLatin1Char('x')));
        QCOMPARE(field->text().size(), 120);
        QCOMPARE(field->displayText(), field->text());
        QWidget* panel = m_dlg->findChild<QWidget*>("GetText40");
        QCOMPARE(m_dlg->height(), panel->height() + 6);
    }

    void cancelAfterTypingLeavesTheEmptyResult()
    {
        m_dlg->prepareText(QStringLiteral("Q"), QStringLiteral("Enter something"), false);
        m_dlg->open();
        QTest::keyClicks(m_dlg->textField(), QStringLiteral("typed"));
        click(m_dlg, QStringLiteral("&Cancel"));
        QVERIFY(!m_dlg->confirmed());
        QCOMPARE(m_dlg->textResult(), QString());
        QVERIFY(!m_dlg->isVisible());
    }

    void preparingTextEmptiesFieldAndResult()
    {
        m_dlg->prepareText(QStringLiteral("Q"), QStringLiteral("P"), false);
        m_dlg->open();
        QTest::keyClicks(m_dlg->textField(), QStringLiteral("first"));
        click(m_dlg, QStringLiteral("&OK"));
        QCOMPARE(m_dlg->textResult(), QStringLiteral("first"));
        m_dlg->prepareText(QStringLiteral("Q"), QStringLiteral("P"), false);
        QCOMPARE(m_dlg->textResult(), QString());
        QCOMPARE(m_dlg->textField()->text(), QString());
    }

    // --- the PromptService face ------------------------------------------
    void askTextRunsModallyAndReturnsTheAnswer()
    {
        guardModal();
        QString shownFirst;
        QTimer::singleShot(0, this, [this, &shownFirst] {
            QLineEdit* field = m_dlg->textField();
            shownFirst = field->text();
            field->selectAll();
            QTest::keyClicks(field, QStringLiteral("Back at 3"));
            QTest::keyClick(field, Qt::Key_Enter);
        });
        auto answer = m_dlg->askText("Q", "Enter New Text", false, "old");
        QCOMPARE(shownFirst, QStringLiteral("old"));
        QVERIFY(answer.has_value());
        QCOMPARE(QString::fromStdString(*answer), QStringLiteral("Back at 3"));

        QTimer::singleShot(0, this, [this, &shownFirst] {
            shownFirst = m_dlg->textField()->text();
            click(m_dlg, QStringLiteral("&Cancel"));
        });
        QVERIFY(!m_dlg->askText("Q", "P", true, "toolongpassword"));
        QCOMPARE(shownFirst, QStringLiteral("toolongp"));
    }

    void askTimeAndAskDateReturnTheirResults()
    {
        guardModal();
        QTimer::singleShot(0, this, [this] {
            click(m_dlg, QStringLiteral("4:00 p"));
            click(m_dlg, QStringLiteral("&OK"));
        });
        auto time = m_dlg->askTime();
        QVERIFY(time.has_value());
        QCOMPARE(QString::fromStdString(*time), QStringLiteral(" 04:00 pm"));

        QTimer::singleShot(0, this, [this] {
            QTest::keyClick(m_dlg->calendar(), Qt::Key_Right);
            click(m_dlg, QStringLiteral("&OK"));
        });
        auto date = m_dlg->askDate();
        QVERIFY(date.has_value());
        QCOMPARE(static_cast<qint64>(*date), static_cast<qint64>(dateOf(2024, 5, 16)));

        QTimer::singleShot(0, this, [this] { QTest::keyClick(m_dlg->calendar(), Qt::Key_Escape); });
        QVERIFY(!m_dlg->askDate());
    }

    // --- date mode ---------------------------------------------------------
    void todayAfterTheNextMonthArrowShowsTheCurrentMonth()
    {
        m_dlg->prepareDate();
        m_dlg->open();
        QCOMPARE(m_dlg->windowTitle(), QStringLiteral("Select Date"));
        TCalendar97* cal = m_dlg->calendar();
        QCOMPARE(cal->startOfWeek(), 7);
        QCOMPARE(cal->model().month(), 5);
        QPoint arrow = cal->geometryInfo().arrowRect(CalendarGeometry::Part::MonthForwardArrow).center();
        QTest::mouseClick(cal, Qt::LeftButton, {}, arrow);
        QCOMPARE(cal->model().month(), 6);
        QCOMPARE(cal->titleText(), QStringLiteral("June 2024"));
        click(m_dlg, QStringLiteral("&Today"));
        QCOMPARE(cal->model().month(), 5);
        QCOMPARE(cal->model().day(), 15);
        QCOMPARE(cal->model().dayInCell(cal->model().selectedCell()), 15);
        QCOMPARE(cal->titleText(), QStringLiteral("May 2024"));
    }

    void showingMovesAPastDateToThePresentAndKeepsAFutureOne()
    {
        m_dlg->prepareDate();
        m_dlg->calendar()->setDate(dateOf(2020, 2, 3));
        m_dlg->open();
        QCOMPARE(m_dlg->dateResult(), platform::nowDateTime(m_clock));
        m_dlg->reject();

        m_dlg->calendar()->setDate(dateOf(2025, 1, 2));
        m_dlg->open();
        QCOMPARE(m_dlg->dateResult(), dateOf(2025, 1, 2));
        click(m_dlg, QStringLiteral("&Cancel"));
        // Cancel still leaves the calendar's date readable.
        QCOMPARE(m_dlg->dateResult(), dateOf(2025, 1, 2));
        QVERIFY(!m_dlg->confirmed());
    }

    void escapeOnTheCalendarCancelsThePrompt()
    {
        m_dlg->prepareDate();
        m_dlg->open();
        QSignalSpy escape(m_dlg->calendar(), &TCalendar97::escapePressed);
        QTest::keyClick(m_dlg->calendar(), Qt::Key_Escape);
        QCOMPARE(escape.count(), 1);
        QVERIFY(!m_dlg->isVisible());
        QVERIFY(!m_dlg->confirmed());
    }

    // --- the calendar control ------------------------------------------------
    void calendarKeys()
    {
        TCalendar97 cal;
        cal.setStartOfWeek(7);
        cal.setDate(dateOf(2023, 1, 31, 0.5));
        cal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cal));
        QSignalSpy changed(&cal, &TCalendar97::dateChanged);
        QSignalSpy before(&cal, &TCalendar97::beforeNewMonth);
        QSignalSpy after(&cal, &TCalendar97::afterNewMonth);

        QTest::keyClick(&cal, Qt::Key_PageDown);
        QCOMPARE(cal.date(), dateOf(2023, 3, 3, 0.5));
        QCOMPARE(cal.model().month(), 3);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toDouble(), dateOf(2023, 3, 3, 0.5));
        QCOMPARE(before.count(), 1);
        QCOMPARE(after.count(), 1);

        QTest::keyClick(&cal, Qt::Key_Left);
        QTest::keyClick(&cal, Qt::Key_Up);
        QCOMPARE(cal.date(), dateOf(2023, 2, 23, 0.5));
        QTest::keyClick(&cal, Qt::Key_Down);
        QTest::keyClick(&cal, Qt::Key_Right);
        QCOMPARE(cal.date(), dateOf(2023, 3, 3, 0.5));
        QTest::keyClick(&cal, Qt::Key_PageUp); // February 2023 has 28 days
        QCOMPARE(cal.date(), dateOf(2023, 2, 3, 0.5));
        QTest::keyClick(&cal, Qt::Key_Home);
        QCOMPARE(cal.date(), dateOf(2024, 2, 3, 0.5));
        QTest::keyClick(&cal, Qt::Key_End); // leap year, not March: 366 days
        QCOMPARE(cal.date(), dateOf(2023, 2, 2, 0.5));
        QCOMPARE(changed.count(), 8);

        QSignalSpy enter(&cal, &TCalendar97::enterPressed);
        QSignalSpy escape(&cal, &TCalendar97::escapePressed);
        QTest::keyClick(&cal, Qt::Key_Return);
        QTest::keyClick(&cal, Qt::Key_Escape);
        QCOMPARE(enter.count(), 1);
        QCOMPARE(escape.count(), 1);
        QCOMPARE(changed.count(), 8);
    }

    void calendarMouse()
    {
        TCalendar97 cal;
        cal.setStartOfWeek(7);
        cal.setDate(dateOf(2024, 9, 10, 0.25)); // 1 September 2024 is a Sunday: cell 0
        cal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cal));
        QSignalSpy changed(&cal, &TCalendar97::dateChanged);
        QSignalSpy clicked(&cal, &TCalendar97::dateClicked);

        QTest::mouseClick(&cal, Qt::LeftButton, {}, cellCenter(cal, 15));
        QCOMPARE(cal.date(), dateOf(2024, 9, 15, 0.25));
        QCOMPARE(clicked.count(), 1);
        QVERIFY(cal.hasFocus());

        // Dragging carries the selection along; the release is the click.
        QTest::mousePress(&cal, Qt::LeftButton, {}, cellCenter(cal, 3));
        dragTo(&cal, cellCenter(cal, 4));
        dragTo(&cal, cellCenter(cal, 12));
        QCOMPARE(cal.model().day(), 12);
        QCOMPARE(cal.model().hoverCell(), cal.model().cellOfDay(12));
        QTest::mouseRelease(&cal, Qt::LeftButton, {}, cellCenter(cal, 12));
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(clicked.last().at(0).toDouble(), dateOf(2024, 9, 12, 0.25));
        QCOMPARE(changed.count(), 4);

        // Empty cells and the title do nothing.
        QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.geometryInfo().cellRect(41).center());
        QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.geometryInfo().titleRect().center());
        QCOMPARE(cal.model().day(), 12);
        QCOMPARE(clicked.count(), 2);

        // Arrows act as the keys; the box at the bottom right as Escape.
        const auto& g = cal.geometryInfo();
        QTest::mouseClick(&cal, Qt::LeftButton, {}, g.arrowRect(CalendarGeometry::Part::MonthBackArrow).center());
        QCOMPARE(cal.date(), dateOf(2024, 8, 12, 0.25)); // back by August's 31 days
        QTest::mouseClick(&cal, Qt::LeftButton, {}, g.arrowRect(CalendarGeometry::Part::YearForwardArrow).center());
        QCOMPARE(cal.date(), dateOf(2025, 8, 13, 0.25)); // 366 days: leap year, not March
        QTest::mouseClick(&cal, Qt::LeftButton, {}, g.arrowRect(CalendarGeometry::Part::YearBackArrow).center());
        QTest::mouseClick(&cal, Qt::LeftButton, {}, g.arrowRect(CalendarGeometry::Part::MonthForwardArrow).center());
        QCOMPARE(cal.date(), dateOf(2024, 9, 13, 0.25));
        QSignalSpy escape(&cal, &TCalendar97::escapePressed);
        QTest::mouseClick(&cal, Qt::LeftButton, {}, g.cancelBoxRect().center());
        QCOMPARE(escape.count(), 1);
        QCOMPARE(clicked.count(), 2);
    }

    void calendarSettersAndFocusLoss()
    {
        TCalendar97 cal;
        QSignalSpy changed(&cal, &TCalendar97::dateChanged);
        QSignalSpy after(&cal, &TCalendar97::afterNewMonth);
        cal.setDate(dateOf(2024, 9, 10));
        QCOMPARE(after.count(), 1);
        cal.setDate(dateOf(2024, 9, 11)); // same month: no new layout
        QCOMPARE(after.count(), 1);
        QCOMPARE(changed.count(), 0);    // callers know what they set

        QStringList names = cal.dayNames();
        cal.setDayNames({ QStringLiteral("x") });
        QCOMPARE(cal.dayNames(), names);
        cal.setMonthNames({ QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
            QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
            QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec") });
        QCOMPARE(cal.titleText(), QStringLiteral("Sep 2024"));

        QSize small = cal.size();
        QFont f = cal.font();
        f.setPointSizeF(f.pointSizeF() * 2);
        cal.setFont(f);
        QVERIFY(cal.width() > small.width());
        QVERIFY(cal.height() > small.height());

        QWidget host;
        auto* a = new TCalendar97(&host);
        auto* b = new QLineEdit(&host);
        b->move(0, a->height() + 4);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QApplication::setActiveWindow(&host);
        a->setFocus();
        QTRY_VERIFY(a->hasFocus());
        QSignalSpy lost(a, &TCalendar97::focusLost);
        b->setFocus();
        QTRY_COMPARE(lost.count(), 1);
    }

    // --- looks ---------------------------------------------------------------
    void rendersEveryModeToPng()
    {
        m_dlg->prepareDate();
        m_dlg->open();
        m_dlg->calendar()->setDate(dateOf(2024, 5, 21, 0.5));
        QApplication::setActiveWindow(m_dlg);
        QTRY_VERIFY(m_dlg->calendar()->hasFocus()); // as the user sees it, with the focus rectangle
        QImage date = m_dlg->grab().toImage();
        QCOMPARE(date.size(), m_dlg->size() * date.devicePixelRatio());
        QVERIFY(date.save(QStringLiteral("/tmp/prompt-date.png")));
        m_dlg->reject();

        m_dlg->prepareTime();
        m_dlg->open();
        QVERIFY(m_dlg->grab().save(QStringLiteral("/tmp/prompt-time.png")));
        m_dlg->reject();

        m_dlg->prepareText(QStringLiteral("Change Password"), QStringLiteral("New password:"), true);
        m_dlg->open();
        QTest::keyClicks(m_dlg->textField(), QStringLiteral("secret"));
        QVERIFY(m_dlg->grab().save(QStringLiteral("/tmp/prompt-text.png")));
        m_dlg->reject();

        // The selected day is drawn differently from a plain day.
        TCalendar97* cal = m_dlg->calendar();
        QImage img = cal->grab().toImage();
        QRect sel = cal->geometryInfo().cellRect(cal->model().selectedCell());
        QRect other = cal->geometryInfo().cellRect(cal->model().cellOfDay(cal->model().day() == 8 ? 9 : 8));
        QCOMPARE(img.pixelColor(sel.topLeft() + QPoint(1, 1)), cal->palette().color(QPalette::Light));
        QVERIFY(img.pixelColor(other.topLeft() + QPoint(1, 1)) != cal->palette().color(QPalette::Light));
    }

    void promptIconIsThere()
    {
        QVERIFY(!TPickDT::promptIcon().isNull());
        QVERIFY(!m_dlg->windowIcon().isNull());
    }

private:
    // The answers of the ask tests come from zero-time timers inside the modal loop; if
    // one of them fails, this closes the window so the test fails instead of
    // hanging.
    void guardModal()
    {
        QTimer::singleShot(5000, m_dlg, [this] {
            if (m_dlg->isVisible())
                m_dlg->reject();
        });
    }

    qb::test::FakeClock m_clock;
    TPickDT* m_dlg = nullptr;
    qb::testing::ScriptedDialogs m_dialogs;
};

QTEST_MAIN(TestPromptWindow)
#include "PromptWindowTest.moc"
