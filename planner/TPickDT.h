// The program's one prompt window for a date, a time of day or a line of text
// (optionally hidden, for passwords). Created once and reused; exactly one of
// its panels GetDate, TimePanel and GetText40 is shown.
//
// Two ways to use it:
// - as a PromptService: askDate(), askTime(), askText() prepare a mode, run
//   the window modally and return the result or nothing on Cancel;
// - step by step: prepareDate()/prepareTime()/prepareText(), then exec() or
//   open(), then confirmed() and the results, which stay until the same mode
//   is prepared again. Tests use open() and drive the widgets, found by
//   their object names.
//
// Every showing moves the calendar to the present moment when its date lies
// before it, gives the text field the focus in text mode and places the
// window's top-left corner at the mouse cursor (kept on the screen).
#pragma once

#include "core/Dialogs.h"
#include "core/PromptService.h"
#include "platform/Clock.h"

#include <QDialog>
#include <QIcon>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qb::planner {

class TCalendar97;

class TPickDT : public QDialog, public core::PromptService {
    Q_OBJECT
public:
    enum class Mode { Date, Time, Text };

    // clock gives the present moment for "&Today", "&Now" and the prepared
    // time; it must outlive the window.
    explicit TPickDT(const platform::Clock& clock = platform::SystemClock::instance(), QWidget* parent = nullptr);

    // --- preparing a mode ---------------------------------------------------
    // Date: caption "Select Date", only the calendar panel.
    void prepareDate();
    // Time: caption "Select Date", the time result emptied and the present
    // time put into the field as " hh:nn am/pm ".
    void prepareTime();
    // Text: the caption and prompt given, the text result and field emptied;
    // hidden limits the field to 8 characters shown as "*", else 120 shown
    // plainly.
    void prepareText(const QString& caption, const QString& prompt, bool hidden);
    Mode mode() const { return m_mode; }

    // --- results --------------------------------------------------------------
    // True when last closed with OK (or Enter in the text field).
    bool confirmed() const { return m_confirmed; }
    QString textResult() const { return m_textResult; }
    QString timeResult() const { return m_timeResult; }
    // The calendar's current date-time (callers use its day).
    double dateResult() const;

    // --- PromptService ------------------------------------------------------
    std::optional<double> askDate() override;
    std::optional<std::string> askTime() override;
    std::optional<std::string> askText(const std::string& caption, const std::string& prompt, bool hidden,
                                       const std::string& initialText = {}) override;

    // Where the program's general error message (an unparsable time) is
    // shown: the program's dialog seam (borrowed). Without one the message
    // only goes to the debug output.
    void setDialogs(core::Dialogs* dialogs) { m_dialogs = dialogs; }

    // Controls, also reachable through findChild by the same object names.
    TCalendar97* calendar() const { return m_calendar; }
    QLineEdit* timeField() const { return m_timeField; }
    QLineEdit* textField() const { return m_textField; }
    QLabel* promptLabel() const { return m_zTitle; }

    // The prompt window's icon; the notification area shows it for some
    // remarks.
    static QIcon promptIcon();

public slots:
    void accept() override; // "&OK"
    void reject() override; // "&Cancel", Escape

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildDatePanel();
    QWidget* buildTimePanel();
    QWidget* buildTextPanel();
    QPushButton* addButton(QWidget* parent, const QString& caption, const QString& objectName);
    void showOnly(QWidget* panel, int top, int extraHeight);
    void pressQuickButton(int index);
    void forgetHiddenText();
    double now() const;

    const platform::Clock& m_clock;
    Mode m_mode = Mode::Date;
    bool m_confirmed = false;
    QString m_textResult;
    QString m_timeResult;
    core::Dialogs* m_dialogs = nullptr;

    QWidget* m_getDate = nullptr;
    QWidget* m_timePanel = nullptr;
    QWidget* m_getText40 = nullptr;
    TCalendar97* m_calendar = nullptr;
    QLineEdit* m_timeField = nullptr;
    QLineEdit* m_textField = nullptr;
    QLabel* m_zTitle = nullptr;
};

} // namespace qb::planner
