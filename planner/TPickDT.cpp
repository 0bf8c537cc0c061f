#include "TPickDT.h"

#include "PromptLogic.h"
#include "TCalendar97.h"
#include "ui/PaintedIcons.h"

#include <QApplication>
#include <QCursor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace qb::planner {

namespace {
constexpr int kPanelLeft = 5;
constexpr int kPanelTop = 3;
const QString kDateCaption = QStringLiteral("Select Date");
} // namespace

TPickDT::TPickDT(const platform::Clock& clock, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_clock(clock)
{
    setObjectName(QStringLiteral("PickDT"));
    setWindowIcon(promptIcon());
    setModal(true);
    m_getDate = buildDatePanel();
    m_timePanel = buildTimePanel();
    m_getText40 = buildTextPanel();
    prepareDate();
}

// --- panels ------------------------------------------------------------------

QPushButton* TPickDT::addButton(QWidget* parent, const QString& caption, const QString& objectName)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    // Only Enter in the text field means OK; no button is the default.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QWidget* TPickDT::buildDatePanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("GetDate"));
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(6);

    m_calendar = new TCalendar97(panel);
    m_calendar->setObjectName(QStringLiteral("Calendar1"));
    m_calendar->setStartOfWeek(7);
    m_calendar->setDayNames({ QStringLiteral("Mo"), QStringLiteral("Tu"), QStringLiteral("We"), QStringLiteral("Th"),
        QStringLiteral("Fr"), QStringLiteral("Sa"), QStringLiteral("Su") });
    m_calendar->setMonthNames({ QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
        QStringLiteral("April"), QStringLiteral("May"), QStringLiteral("June"), QStringLiteral("July"),
        QStringLiteral("August"), QStringLiteral("September"), QStringLiteral("October"),
        QStringLiteral("November"), QStringLiteral("December") });
    TCalendar97::Colors colors = m_calendar->colors();
    colors.marked = Qt::blue;
    m_calendar->setColors(colors);
    col->addWidget(m_calendar);

    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    QPushButton* today = addButton(panel, QStringLiteral("&Today"), QStringLiteral("TodayBtn"));
    QPushButton* ok = addButton(panel, QStringLiteral("&OK"), QStringLiteral("DateOkBtn"));
    QPushButton* cancel = addButton(panel, QStringLiteral("&Cancel"), QStringLiteral("DateCancelBtn"));
    row->addWidget(today);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    col->addLayout(row);

    connect(today, &QPushButton::clicked, this, [this] { m_calendar->setDate(now()); });
    connect(ok, &QPushButton::clicked, this, &TPickDT::accept);
    connect(cancel, &QPushButton::clicked, this, &TPickDT::reject);
    return panel;
}

QWidget* TPickDT::buildTimePanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("TimePanel"));
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(6);

    const auto& buttons = PromptLogic::quickTimeButtons();
    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Set Time:"), panel);
    label->setObjectName(QStringLiteral("SetTimeLabel"));
    m_timeField = new QLineEdit(panel);
    m_timeField->setObjectName(QStringLiteral("TimeEdit"));
    label->setBuddy(m_timeField);
    top->addWidget(label);
    top->addWidget(m_timeField, 1);
    col->addLayout(top);

    auto* grid = new QGridLayout;
    grid->setSpacing(3);
    int addIndex = 0;
    int hourIndex = 0;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = addButton(panel, buttons[i].caption, QStringLiteral("QuickTime%1").arg(i));
        const int index = static_cast<int>(i);
        connect(b, &QPushButton::clicked, this, [this, index] { pressQuickButton(index); });
        switch (buttons[i].kind) {
        case QuickTimeButton::Kind::AddMinutes:
            grid->addWidget(b, addIndex / 4, addIndex % 4);
            ++addIndex;
            break;
        case QuickTimeButton::Kind::SetHour:
            grid->addWidget(b, 3 + hourIndex / 4, hourIndex % 4);
            ++hourIndex;
            break;
        case QuickTimeButton::Kind::Now:
            top->addWidget(b);
            break;
        }
    }
    col->addLayout(grid);

    QPushButton* ok = addButton(panel, QStringLiteral("&OK"), QStringLiteral("TimeOkBtn"));
    QPushButton* cancel = addButton(panel, QStringLiteral("&Cancel"), QStringLiteral("TimeCancelBtn"));
    // The last row of hour buttons has room left for OK and Cancel.
    grid->addWidget(ok, 4, 2);
    grid->addWidget(cancel, 4, 3);
    connect(ok, &QPushButton::clicked, this, &TPickDT::accept);
    connect(cancel, &QPushButton::clicked, this, &TPickDT::reject);
    return panel;
}

QWidget* TPickDT::buildTextPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("GetText40"));
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(4);

    m_zTitle = new QLabel(panel);
    m_zTitle->setObjectName(QStringLiteral("zTitle"));
    m_textField = new QLineEdit(panel);
    m_textField->setObjectName(QStringLiteral("TextEdit"));
    m_textField->setMinimumWidth(m_textField->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
    // The mask character is fixed, whatever the style would choose.
    m_textField->setStyleSheet(QStringLiteral("lineedit-password-character: %1").arg(
        static_cast<int>(PromptLogic::kMaskChar.unicode())));
    m_zTitle->setBuddy(m_textField);
    col->addWidget(m_zTitle);
    col->addWidget(m_textField);

    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addStretch(1);
    QPushButton* ok = addButton(panel, QStringLiteral("&OK"), QStringLiteral("TextOkBtn"));
    QPushButton* cancel = addButton(panel, QStringLiteral("&Cancel"), QStringLiteral("TextCancelBtn"));
    row->addWidget(ok);
    row->addWidget(cancel);
    col->addLayout(row);

    connect(m_textField, &QLineEdit::returnPressed, this, &TPickDT::accept);
    connect(ok, &QPushButton::clicked, this, &TPickDT::accept);
    connect(cancel, &QPushButton::clicked, this, &TPickDT::reject);
    return panel;
}

void TPickDT::showOnly(QWidget* panel, int top, int extraHeight)
{
    for (QWidget* p : { m_getDate, m_timePanel, m_getText40 })
        p->setVisible(p == panel);
    panel->adjustSize();
    panel->move(kPanelLeft, top);
    setFixedSize(panel->width() + 2 * kPanelLeft, panel->height() + extraHeight);
}

// --- modes -------------------------------------------------------------------

void TPickDT::prepareDate()
{
    m_mode = Mode::Date;
    showOnly(m_getDate, 4, 8);
    setWindowTitle(kDateCaption);
}

void TPickDT::prepareTime()
{
    m_mode = Mode::Time;
    showOnly(m_timePanel, kPanelTop, 8);
    m_timeResult.clear();
    m_timeField->setText(PromptLogic::formatPreparedTime(PromptLogic::msOfDay(m_clock)));
    setWindowTitle(kDateCaption);
}

void TPickDT::prepareText(const QString& caption, const QString& prompt, bool hidden)
{
    m_mode = Mode::Text;
    TextFieldRules rules = PromptLogic::textFieldRules(hidden);
    m_textField->setMaxLength(rules.maxLength);
    m_textField->setEchoMode(rules.masked ? QLineEdit::Password : QLineEdit::Normal);
    m_textResult.clear();
    setWindowTitle(caption);
    m_zTitle->setText(prompt);
    m_textField->clear();
    showOnly(m_getText40, kPanelTop, 6);
}

double TPickDT::dateResult() const
{
    return m_calendar->date();
}

// --- actions -----------------------------------------------------------------

void TPickDT::accept()
{
    m_confirmed = true;
    m_textResult = m_textField->text();
    m_timeResult = m_timeField->text();
    forgetHiddenText();
    QDialog::accept();
}

void TPickDT::reject()
{
    m_confirmed = false;
    forgetHiddenText();
    QDialog::reject();
}

void TPickDT::forgetHiddenText()
{
    // A password has no business staying in the reused window once the
    // caller has it.
    if (m_textField->echoMode() != QLineEdit::Normal)
        m_textField->clear();
}

void TPickDT::pressQuickButton(int index)
{
    const auto& buttons = PromptLogic::quickTimeButtons();
    if (index < 0 || static_cast<std::size_t>(index) >= buttons.size())
        return;
    auto text = PromptLogic::applyQuickButton(buttons[static_cast<std::size_t>(index)], m_timeField->text(),
        PromptLogic::msOfDay(m_clock));
    if (!text) {
        // The field keeps what the user typed, so it can be corrected.
        const QString message = PromptLogic::invalidTimeMessage(m_timeField->text());
        if (m_dialogs)
            m_dialogs->error(message.toStdString());
        else
            qWarning("%s", qPrintable(message));
        return;
    }
    m_timeField->setText(*text);
}

double TPickDT::now() const
{
    return platform::nowDateTime(m_clock);
}

void TPickDT::showEvent(QShowEvent* event)
{
    double present = now();
    if (m_calendar->date() < present)
        m_calendar->setDate(present);
    if (m_mode == Mode::Text)
        m_textField->setFocus(Qt::OtherFocusReason);
    else if (m_mode == Mode::Date)
        m_calendar->setFocus(Qt::OtherFocusReason);

    // Open where the user is pointing, but never partly off the screen.
    QPoint at = QCursor::pos();
    if (QScreen* screen = QGuiApplication::screenAt(at)) {
        QRect avail = screen->availableGeometry();
        at.setX(std::max(avail.left(), std::min(at.x(), avail.right() - frameGeometry().width())));
        at.setY(std::max(avail.top(), std::min(at.y(), avail.bottom() - frameGeometry().height())));
    }
    move(at);
    QDialog::showEvent(event);
}

// --- PromptService -------------------------------------------------------------

std::optional<double> TPickDT::askDate()
{
    prepareDate();
    exec();
    return m_confirmed ? std::optional<double>(dateResult()) : std::nullopt;
}

std::optional<std::string> TPickDT::askTime()
{
    prepareTime();
    exec();
    return m_confirmed ? std::optional<std::string>(m_timeResult.toStdString()) : std::nullopt;
}

std::optional<std::string> TPickDT::askText(const std::string& caption, const std::string& prompt, bool hidden,
                                            const std::string& initialText)
{
    prepareText(QString::fromStdString(caption), QString::fromStdString(prompt), hidden);
    m_textField->setText(QString::fromStdString(initialText).left(m_textField->maxLength()));
    exec();
    return m_confirmed ? std::optional<std::string>(m_textResult.toStdString()) : std::nullopt;
}

QIcon TPickDT::promptIcon() { return ui::icons::calendarLeaf(); }

} // namespace qb::planner
