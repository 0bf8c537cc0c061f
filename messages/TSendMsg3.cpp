#include "TSendMsg3.h"

#include "messages/SendLogic.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qb::messages {

const std::array<FlagBox, 7> kFlagBoxes = {{{"Returned your call", 8},
                                            {"Called", 4},
                                            {"Will call back", 1},
                                            {"Please call", 2},
                                            {"Please comment", 128},
                                            {"Reply ASAP", 16},
                                            {"Urgent", 64}}};

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

TSendMsg3::TSendMsg3(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SendMsg3"));
    setWindowTitle(QStringLiteral("Send Message"));
    setModal(true);

    auto* top = new QGridLayout;
    m_to = new QPushButton(QStringLiteral("To:"), this);
    m_to->setObjectName(QStringLiteral("ToButton"));
    m_to->setAutoDefault(false);
    m_recipient = new QLabel(this);
    m_recipient->setObjectName(QStringLiteral("RecipientText"));
    m_recipient->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_date = new QLabel(this);
    m_date->setObjectName(QStringLiteral("DateText"));
    m_subject = new QLineEdit(this);
    m_subject->setObjectName(QStringLiteral("Subject"));
    m_subject->setMaxLength(40);
    m_subject->installEventFilter(this);
    top->addWidget(m_to, 0, 0);
    top->addWidget(m_recipient, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("Date:"), this), 1, 0, Qt::AlignRight);
    top->addWidget(m_date, 1, 1);
    top->addWidget(new QLabel(QStringLiteral("Subject:"), this), 2, 0, Qt::AlignRight);
    top->addWidget(m_subject, 2, 1);
    top->setColumnStretch(1, 1);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo"));
    m_memo->setMinimumSize(300, 160);

    m_flagPanel = new QFrame(this);
    m_flagPanel->setObjectName(QStringLiteral("FlagPanel"));
    auto* flags = new QVBoxLayout(m_flagPanel);
    flags->setContentsMargins(4, 0, 0, 0);
    for (std::size_t i = 0; i < kFlagBoxes.size(); ++i) {
        m_boxes[i] = new QCheckBox(QString::fromLatin1(kFlagBoxes[i].caption), m_flagPanel);
        m_boxes[i]->setObjectName(QStringLiteral("Flag%1").arg(i + 1));
        flags->addWidget(m_boxes[i]);
    }
    flags->addStretch();
    m_hideActions = new QPushButton(QStringLiteral("Hide actions"), this);
    m_hideActions->setAutoDefault(false);
    connect(m_hideActions, &QPushButton::clicked, this, &TSendMsg3::toggleActions);
    auto* right = new QVBoxLayout;
    right->addWidget(m_hideActions);
    right->addWidget(m_flagPanel, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_memo, 1);
    middle->addLayout(right);

    // The recipients panel: a check list of every name in three columns.
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("RecipientsPanel"));
    m_panel->setFrameShape(QFrame::StyledPanel);
    auto* panel = new QVBoxLayout(m_panel);
    m_list = new QListWidget(m_panel);
    m_list->setObjectName(QStringLiteral("RecipientList"));
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setUniformItemSizes(true);
    m_list->setMinimumHeight(180);
    m_list->viewport()->installEventFilter(this);
    panel->addWidget(m_list);
    auto* panelButtons = new QHBoxLayout;
    auto addPanelButton = [&](const char* text, void (TSendMsg3::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), m_panel);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        panelButtons->addWidget(b);
    };
    addPanelButton("Cancel", &TSendMsg3::panelCancel);
    addPanelButton("Select All", &TSendMsg3::panelSelectAll);
    addPanelButton("Reset", &TSendMsg3::panelReset);
    addPanelButton("Ok", &TSendMsg3::panelOk);
    panel->addLayout(panelButtons);
    m_panel->hide();
    connect(m_to, &QPushButton::clicked, this, [this] { panelVisible() ? closePanel() : openPanel(); });

    auto* bottom = new QHBoxLayout;
    auto addButton = [&](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        bottom->addWidget(b);
        return b;
    };
    m_send = addButton("&Send", "SendButton");
    m_multiple = addButton("S&end to everyone", "MultipleButton");
    QPushButton* copy = addButton("&Copy", "CopyButton");
    QPushButton* paste = addButton("&Paste", "PasteButton");
    QPushButton* close = addButton("&Close", "CloseButton");
    QPushButton* help = addButton("&Help", "HelpButton");
    connect(m_send, &QPushButton::clicked, this, [this] {
        if (onSend)
            onSend();
    });
    connect(m_multiple, &QPushButton::clicked, this, [this] {
        if (onMultipleSend)
            onMultipleSend();
    });
    connect(copy, &QPushButton::clicked, this, &TSendMsg3::copyText);
    connect(paste, &QPushButton::clicked, this, &TSendMsg3::pasteText);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp)
            onHelp();
    });

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(middle, 1);
    all->addWidget(m_panel);
    all->addLayout(bottom);
    resize(620, 360);
}

void TSendMsg3::setRecipientText(const QString& t) { m_recipient->setText(t); }
QString TSendMsg3::recipientText() const { return m_recipient->text(); }
void TSendMsg3::setDateText(const QString& t) { m_date->setText(t); }
QString TSendMsg3::dateText() const { return m_date->text(); }

std::vector<std::string> TSendMsg3::lines() const
{
    std::vector<std::string> out;
    const QString text = m_memo->toPlainText();
    if (text.isEmpty())
        return out;
    for (const QString& l : text.split(QLatin1Char('\n')))
        out.push_back(l.toStdString());
    return out;
}

void TSendMsg3::setLines(const std::vector<std::string>& lines)
{
    QStringList l;
    for (const auto& s : lines)
        l << q(s);
    m_memo->setPlainText(l.join(QLatin1Char('\n')));
}

std::uint8_t TSendMsg3::flags() const
{
    std::uint8_t f = 0;
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        if (m_boxes[i]->isChecked())
            f |= kFlagBoxes[i].bit;
    return f;
}

void TSendMsg3::setFlags(std::uint8_t flags)
{
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked((flags & kFlagBoxes[i].bit) != 0);
}

void TSendMsg3::setFlagCaptions(const std::array<std::string, 7>& siteLabels)
{
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setText(siteLabels[i].empty() ? QString::fromLatin1(kFlagBoxes[i].caption) : q(siteLabels[i]));
}

void TSendMsg3::setOutOfOffice(bool on)
{
    m_outOfOffice = on;
    const QString style = on ? QStringLiteral("background-color: yellow;") : QString();
    m_subject->setStyleSheet(on ? QStringLiteral("QLineEdit { background-color: yellow; }") : QString());
    m_memo->setStyleSheet(on ? QStringLiteral("QPlainTextEdit { background-color: yellow; }") : QString());
    (void)style;
}

void TSendMsg3::setPeople(const std::vector<std::pair<int, std::string>>& people)
{
    if (m_list->count() > 0)
        return;
    for (const auto& [index, name] : people) {
        auto* item = new QListWidgetItem(q(name), m_list);
        item->setData(Qt::UserRole, index);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // Three columns of names.
    const int rows = (m_list->count() + 2) / 3;
    const int rowHeight = m_list->sizeHintForRow(0) > 0 ? m_list->sizeHintForRow(0) : 20;
    m_list->setMinimumHeight(std::min(rows, 12) * rowHeight + 8);
    fitColumns();
}

void TSendMsg3::fitColumns()
{
    // Three columns across the visible width; more names scroll sideways.
    const int rowHeight = m_list->sizeHintForRow(0) > 0 ? m_list->sizeHintForRow(0) : 20;
    m_list->setGridSize(QSize(std::max(80, (m_list->viewport()->width() - 2) / 3), rowHeight));
}

bool TSendMsg3::panelVisible() const { return !m_panel->isHidden(); }

void TSendMsg3::openPanel()
{
    m_savedRecipient = recipientText();
    m_multiple->setEnabled(true);
    m_multiple->setText(QStringLiteral("S&end to list of names"));
    setRecipientText(QStringLiteral("Select recipient(s)"));
    m_panel->show();
}

void TSendMsg3::closePanel()
{
    m_panel->hide();
    m_recipients.clear();
    std::vector<std::string> names;
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* it = m_list->item(i);
        if (it->checkState() == Qt::Checked) {
            m_recipients.push_back(it->data(Qt::UserRole).toInt());
            names.push_back(it->text().toStdString());
        }
    }
    if (names.empty()) {
        m_send->setEnabled(true);
        setRecipientText(m_savedRecipient);
        m_multiple->setText(defaultMultiple);
        return;
    }
    setRecipientText(q(messages::recipientText(names)));
    m_send->setEnabled(!m_multiple->isEnabled());
}

void TSendMsg3::panelOk()
{
    int ticked = 0;
    for (int i = 0; i < m_list->count() && ticked < 2; ++i)
        if (m_list->item(i)->checkState() == Qt::Checked)
            ++ticked;
    if (ticked == 0)
        return;
    closePanel();
    if (recipientText().isEmpty())
        setRecipientText(clickedName);
    if (forwarding) {
        m_multiple->setText(QStringLiteral("Forward to selected names"));
        m_memo->setFocus();
    } else if (!m_send->isEnabled()) {
        m_multiple->setText(QStringLiteral("S&end to selected names"));
    }
}

void TSendMsg3::setTicked(const std::vector<int>& indexes)
{
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* it = m_list->item(i);
        const int idx = it->data(Qt::UserRole).toInt();
        it->setCheckState(std::find(indexes.begin(), indexes.end(), idx) != indexes.end() ? Qt::Checked
                                                                                          : Qt::Unchecked);
    }
}

void TSendMsg3::panelReset()
{
    setRecipientText(clickedName);
    m_recipients.clear();
    setTicked({});
}

void TSendMsg3::panelSelectAll()
{
    m_recipients.clear();
    setRecipientText(clickedName);
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setCheckState(Qt::Checked);
}

void TSendMsg3::panelCancel()
{
    m_panel->hide();
    setRecipientText(clickedName);
    m_send->setEnabled(true);
    m_multiple->setText(defaultMultiple);
    if (forwarding && onForwardCancelled)
        onForwardCancelled();
}

void TSendMsg3::toggleActions()
{
    const bool hide = !m_flagPanel->isHidden();
    m_flagPanel->setVisible(!hide);
    m_hideActions->setText(hide ? QStringLiteral("Show actions") : QStringLiteral("Hide actions"));
}

void TSendMsg3::copyText()
{
    m_memo->selectAll();
    QApplication::clipboard()->setText(m_memo->toPlainText());
    QTextCursor c = m_memo->textCursor();
    c.movePosition(QTextCursor::End);
    m_memo->setTextCursor(c);
}

void TSendMsg3::pasteText()
{
    m_memo->setFocus();
    m_memo->paste();
}

bool TSendMsg3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    // Enter in the subject moves on to the text instead of sending.
    if (watched == m_subject && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            m_memo->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSendMsg3::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && !isActiveWindow() && !isVisible()) {
        m_panel->hide();
        forwarding = false;
    }
}

} // namespace qb::messages
