#include "TrdMsgs.h"

#include "engine/controls/TTzNavigator.h"
#include "engine/controls/TTzText.h"
#include "messages/TSendMsg3.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace qb::messages {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
const QColor kGreen(0, 128, 0);
} // namespace

TrdMsgs::TrdMsgs(ReaderLogic& logic, QWidget* parent) : QDialog(parent), m_logic(logic)
{
    setObjectName(QStringLiteral("rdMsgs"));
    setWindowTitle(QStringLiteral("Message Reader"));
    setModal(true);

    m_selectSubject = new QPushButton(QStringLiteral("Select a message by subject"), this);
    m_selectSubject->setAutoDefault(false);
    m_subjects = new QComboBox(this);
    m_subjects->setObjectName(QStringLiteral("SubjectList"));
    m_subjects->setMinimumWidth(220);
    connect(m_selectSubject, &QPushButton::clicked, this, &TrdMsgs::fillSubjects);
    connect(m_subjects, &QComboBox::activated, this, &TrdMsgs::chooseSubject);
    auto* pick = new QHBoxLayout;
    pick->addWidget(m_selectSubject);
    pick->addWidget(m_subjects, 1);

    auto* head = new QGridLayout;
    auto bound = [&](int row, const char* label, const char* field) {
        auto* t = new engine::TTzText(this);
        t->setObjectName(QStringLiteral("Field_%1").arg(QLatin1String(field)));
        t->setDataField(QString::fromLatin1(field));
        t->setDataSource(&m_logic.table());
        t->setTextInteractionFlags(Qt::TextSelectableByMouse);
        head->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0, Qt::AlignRight);
        head->addWidget(t, row, 1);
        return t;
    };
    m_from = bound(0, "From:", "from");
    m_subject = bound(1, "Subject:", "subj");
    m_date = bound(2, "Date:", "time");
    head->setColumnStretch(1, 1);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo"));
    m_memo->setMinimumSize(280, 170);
    m_memo->installEventFilter(this);
    m_flagPanel = new QFrame(this);
    m_flagPanel->setObjectName(QStringLiteral("FlagPanel"));
    auto* flags = new QVBoxLayout(m_flagPanel);
    flags->setContentsMargins(3, 0, 0, 0);
    for (std::size_t i = 0; i < kFlagBoxes.size(); ++i) {
        m_boxes[i] = new QCheckBox(QString::fromLatin1(kFlagBoxes[i].caption), m_flagPanel);
        // Ticking a box changes nothing stored; the focus goes back to the text.
        connect(m_boxes[i], &QCheckBox::clicked, this, [this] { m_memo->setFocus(); });
        flags->addWidget(m_boxes[i]);
    }
    flags->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_memo, 1);
    middle->addWidget(m_flagPanel);

    m_nav = new engine::TTzNavigator(this);
    m_nav->setObjectName(QStringLiteral("Navigator"));
    m_nav->setVisibleButtons({engine::TNavigateBtn::nbFirst, engine::TNavigateBtn::nbPrior,
                              engine::TNavigateBtn::nbNext, engine::TNavigateBtn::nbLast});
    m_nav->setHints({QStringLiteral("First Message"), QStringLiteral("Prior Message"), QStringLiteral("Next Message"),
                     QStringLiteral("Last Message")});
    m_nav->setDataSource(&m_logic.table());
    m_nav->onClick = [this](QObject*, engine::TNavigateBtn) { navigated(); };

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_nav);
    auto addButton = [&](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->installEventFilter(this);
        bottom->addWidget(b);
        return b;
    };
    m_reply = addButton("&Reply", "ReplyButton");
    m_forward = addButton("&Forward", "ForwardButton");
    QPushButton* printButton = addButton("&Print", "PrintButton");
    QPushButton* del = addButton("&Delete", "DeleteButton");
    QPushButton* copy = addButton("C&opy", "CopyButton");
    QPushButton* close = addButton("&Close", "CloseButton");
    QPushButton* help = addButton("&Help", "HelpButton");
    connect(m_reply, &QPushButton::clicked, this, [this] { reply(false); });
    connect(m_forward, &QPushButton::clicked, this, [this] {
        leaveDirectReply();
        reply(true);
    });
    connect(printButton, &QPushButton::clicked, this, &TrdMsgs::print);
    connect(del, &QPushButton::clicked, this, &TrdMsgs::deleteMessage);
    connect(copy, &QPushButton::clicked, this, &TrdMsgs::copyText);
    connect(close, &QPushButton::clicked, this, &TrdMsgs::closeReader);
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp)
            onHelp(QStringLiteral("html/Reading Messages.html"));
    });

    auto* all = new QVBoxLayout(this);
    all->addLayout(pick);
    all->addLayout(head);
    all->addLayout(middle, 1);
    all->addLayout(bottom);
    choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    resize(640, 340);
}

void TrdMsgs::setFlagCaptions(const std::array<std::string, 7>& siteLabels)
{
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setText(siteLabels[i].empty() ? QString::fromLatin1(kFlagBoxes[i].caption) : q(siteLabels[i]));
}

bool TrdMsgs::activate(std::int64_t& foundRecNo)
{
    m_memo->clear();
    leaveDirectReply();
    if (!m_logic.open()) {
        m_memo->setPlainText(QStringLiteral(" \n Unable to open %1.").arg(q(m_logic.fileName())));
        return false;
    }
    setWindowTitle(QStringLiteral("Read Messages"));
    m_logic.positionForActivation(foundRecNo);
    m_nav->setEnabled(true);
    showMessage();
    markRead();
    if (QWidget* board = parentWidget()) {
        // Just above and left of the board, which makes room when it must.
        QPoint p = board->pos();
        if (p.y() <= 20)
            p.setY(40);
        if (p.x() < 20)
            p.setX(20);
        if (p != board->pos())
            board->move(p);
        move(p - QPoint(20, 20));
    }
    return true;
}

std::vector<std::string> TrdMsgs::shownLines() const
{
    std::vector<std::string> out;
    for (const QString& l : m_memo->toPlainText().split(QLatin1Char('\n')))
        out.push_back(l.toStdString());
    return out;
}

void TrdMsgs::showMessage()
{
    m_shown = m_logic.current();
    QStringList lines;
    for (const auto& l : m_shown.lines)
        lines << q(l);
    m_memo->setPlainText(lines.join(QLatin1Char('\n')));
    m_memo->moveCursor(QTextCursor::Start);
    m_reply->setEnabled(m_shown.fromId > 0);
    applyLayout();
}

void TrdMsgs::applyLayout()
{
    const bool panel = showsFlagPanel(m_shown.flags) && m_logic.atMessage();
    m_flagPanel->setVisible(panel);
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked((m_shown.flags & kFlagBoxes[i].bit) != 0);
    const bool yellow = outOfOfficeColouring && outOfOfficeColouring() && m_logic.atMessage() &&
                        (m_shown.flags & flag::kOrdinary) == 0;
    m_subject->setAutoFillBackground(yellow);
    QPalette sp = m_subject->palette();
    sp.setColor(QPalette::Window, yellow ? QColor(Qt::yellow) : palette().color(QPalette::Button));
    m_subject->setPalette(sp);
    QPalette mp = m_memo->palette();
    mp.setColor(QPalette::Base, m_directReply ? QColor(Qt::cyan)
                                : yellow      ? QColor(Qt::yellow)
                                              : palette().color(QPalette::Base));
    mp.setColor(QPalette::Text, m_green ? kGreen : QColor(Qt::black));
    m_memo->setPalette(mp);
}

bool TrdMsgs::flagPanelShown() const { return !m_flagPanel->isHidden(); }

std::uint8_t TrdMsgs::shownFlags() const { return m_shown.flags; }

QString TrdMsgs::fromText() const { return m_from->text(); }

void TrdMsgs::markRead()
{
    m_green = m_logic.markRead();
    if (!m_green && onAlertCleared)
        onAlertCleared();
    m_shown.read = true;
    applyLayout();
}

void TrdMsgs::navigated()
{
    // Past the last message there is nothing to read: stay on the last.
    if (m_logic.table().Active() && m_logic.table().dEOF())
        m_logic.table().GoBottom();
    showMessage();
    if (!m_logic.headerCount())
        return;
    markRead();
    setWindowTitle(QStringLiteral("Read Messages"));
}

void TrdMsgs::fillSubjects()
{
    m_subjects->clear();
    for (const auto& s : m_logic.subjects())
        m_subjects->addItem(q(s));
    m_subjects->setPlaceholderText(QStringLiteral("Select message"));
    m_subjects->setCurrentIndex(-1);
    if (isVisible())
        m_subjects->showPopup();
}

void TrdMsgs::chooseSubject(int i)
{
    m_green = m_logic.selectBySubject(i);
    showMessage();
    if (!m_green && onAlertCleared)
        onAlertCleared();
    applyLayout();
}

void TrdMsgs::deleteMessage()
{
    if (onDeleteStarts)
        onDeleteStarts();
    const ReaderLogic::DeleteResult r = m_logic.deleteCurrent();
    if (r.packed)
        setWindowTitle(QStringLiteral("Messages: %1").arg(r.remaining));
    showMessage();
    m_green = m_logic.atMessage() && !m_shown.read;
    leaveDirectReply();
    applyLayout();
    if (onDeleteEnds)
        onDeleteEnds();
    m_memo->moveCursor(QTextCursor::Start);
}

void TrdMsgs::reply(bool forward)
{
    if (!m_logic.atMessage())
        return;
    const ReplyDraft d = composeReply(m_shown, shownLines(), forward, m_directReply ? m_markerLine : -1);
    const bool direct = m_directReply && !forward;
    const std::uint8_t flags = m_shown.flags;
    if (direct)
        leaveDirectReply();
    if (onReply)
        onReply(d, forward, direct, flags);
}

std::vector<std::string> TrdMsgs::printout()
{
    return printLines(m_shown, shownLines(), ownName ? ownName().toStdString() : std::string());
}

bool TrdMsgs::print()
{
    QPrinter printer;
    printer.setDocName(QStringLiteral("\tQuellboard Message"));
    if (!choosePrinter || !choosePrinter(printer))
        return false;
    QPainter p;
    if (!p.begin(&printer))
        return false;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(10);
    p.setFont(font);
    const QFontMetrics fm(font, &printer);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int tab = fm.horizontalAdvance(QStringLiteral("        "));
    int y = fm.ascent();
    for (const std::string& line : printout()) {
        if (y + fm.descent() > page.height()) {
            printer.newPage();
            y = fm.ascent();
        }
        QString text = q(line);
        int x = 0;
        while (text.startsWith(QLatin1Char('\t'))) {
            x += tab;
            text.remove(0, 1);
        }
        p.drawText(x, y, text);
        y += fm.lineSpacing();
    }
    return p.end();
}

void TrdMsgs::copyText()
{
    QApplication::clipboard()->setText(m_memo->toPlainText());
    m_memo->setFocus();
}

void TrdMsgs::startDirectReply()
{
    if (m_directReply || !m_logic.atMessage())
        return;
    m_directReply = true;
    m_nav->setEnabled(false);
    m_selectSubject->setEnabled(false);
    m_subjects->setEnabled(false);
    m_reply->setText(QStringLiteral("&Send"));
    m_reply->setEnabled(m_shown.fromId > 0);
    m_memo->appendPlainText(QString::fromLatin1(kDirectReplyMarker));
    m_markerLine = m_memo->document()->blockCount() - 1;
    m_memo->appendPlainText(QString());
    m_memo->moveCursor(QTextCursor::End);
    applyLayout();
}

void TrdMsgs::leaveDirectReply()
{
    if (!m_directReply)
        return;
    m_directReply = false;
    m_markerLine = -1;
    m_nav->setEnabled(true);
    m_selectSubject->setEnabled(true);
    m_subjects->setEnabled(true);
    m_reply->setText(QStringLiteral("&Reply"));
    // The typed answer goes; the message is shown as stored.
    showMessage();
}

void TrdMsgs::closeReader()
{
    if (onAlertCleared)
        onAlertCleared();
    leaveDirectReply();
    m_logic.close();
    accept();
}

bool TrdMsgs::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(m_memo->toPlainText());
            return true;
        }
        if (k->key() == Qt::Key_Escape) {
            leaveDirectReply();
            return true; // outside the mode it does nothing, and never closes the reader
        }
        const bool typing = !k->text().isEmpty() && k->text().at(0).unicode() > 25 &&
                            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (typing && !m_directReply) {
            startDirectReply();
            if (watched != m_memo) {
                m_memo->setFocus();
                QApplication::sendEvent(m_memo, event);
                return true;
            }
            return false;
        }
        // Outside the mode the text is read-only in effect.
        if (watched == m_memo && !m_directReply &&
            (k->key() == Qt::Key_Backspace || k->key() == Qt::Key_Delete || k->key() == Qt::Key_Return ||
             k->matches(QKeySequence::Paste) || k->matches(QKeySequence::Cut)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TrdMsgs::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        leaveDirectReply();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TrdMsgs::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
}

void TrdMsgs::closeEvent(QCloseEvent* event)
{
    if (onAlertCleared)
        onAlertCleared();
    leaveDirectReply();
    m_logic.close();
    QDialog::closeEvent(event);
}

} // namespace qb::messages
