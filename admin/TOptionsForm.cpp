#include "TOptionsForm.h"

#include "admin/MessageSound.h"
#include "engine/controls/TTzCheckBox.h"
#include "core/Dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>

#include <thread>

namespace qb::admin {

namespace {

// Where each option's box sits: tab and row, in option order.
struct Placement {
    int tab; // 0 Remarks, 1 Display, 2 Message, 3 Others
    int row;
};
constexpr Placement kPlacement[kOptionCount + 1] = {
    {0, 0},
    {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, // 1-5 remarks
    {2, 0}, {2, 1},                         // 6, 7 message
    {1, 0},                                 // 8 display (hidden)
    {1, 0},                                 // 9
    {2, 2},                                 // 10
    {3, 0}, {3, 1}, {3, 2},                 // 11-13 others
    {1, 1}, {1, 2}, {1, 3},                 // 14-16 display
    {0, 5},                                 // 17 remarks
    {2, 3},                                 // 18 message
    {3, 3}, {3, 4}, {3, 5},                 // 19-21 others
    {2, 4},                                 // 22 message
    {1, 4},                                 // 23 display
};

constexpr int kRowHeight = 21;
constexpr int kBoxWidth = 400;
constexpr int kWidth = 536;
constexpr int kGroupLimit = 40;
// Lock waits of "&Add" before the administrator is told: about half a second.
constexpr int kAddTries = 20;

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

TOptionsForm::TOptionsForm(Context context, QWidget* parent) : QDialog(parent), m_ctx(std::move(context))
{
    setObjectName(QStringLiteral("OptionsForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_editor = std::make_unique<OptionsEditor>(m_ctx.station->engine, m_ctx.station->clock, m_ctx.station->dataDir,
                                               m_ctx.adminMode, *m_ctx.inMemory);
    buildWidgets();

    // Activation: the mode comes from the opener's caption.
    setWindowTitle(m_ctx.caption);
    const bool adding = optionsModeFor(m_ctx.adminMode, m_ctx.caption.toStdString()) == OptionsMode::Adding;
    const bool adminButtons = m_ctx.adminMode && !adding;
    m_textPanel->setVisible(adminButtons);
    m_changeAll->setVisible(adminButtons);
    m_currentGroup = m_ctx.lastGroup.left(kGroupLimit);
    m_groupList->setEditText(m_currentGroup.trimmed());
    m_addGroup->setVisible(adding);
    m_notebook->setCurrentIndex(0);
    setFixedSize(kWidth, adding ? kAddingHeight : kOwnHeight);
}

TOptionsForm::~TOptionsForm()
{
    // Links go before the table they are bound to.
    for (engine::TTzCheckBox* b : m_boxes)
        if (b)
            b->setDataSource(nullptr);
}

engine::TTzCheckBox* TOptionsForm::box(int n) const
{
    return n >= 1 && n <= kOptionCount ? m_boxes[static_cast<std::size_t>(n)] : nullptr;
}

void TOptionsForm::buildWidgets()
{
    m_notebook = new QTabWidget(this);
    m_notebook->setObjectName(QStringLiteral("Notebook"));
    m_notebook->setGeometry(4, 4, 440, 204);
    QWidget* pages[4];
    const char* tabs[4] = {"Remarks", "Display", "Message", "Others"};
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget;
        m_notebook->addTab(pages[i], QString::fromLatin1(tabs[i]));
    }
    for (int n = 1; n <= kOptionCount; ++n)
        placeBox(n, pages[kPlacement[n].tab], kPlacement[n].row);
    m_boxes[opt::kRemarkColors]->hide();

    m_refreshLabel = new QLabel(QStringLiteral(" Check for new remarks every    "), pages[0]);
    m_refreshLabel->setObjectName(QStringLiteral("RefreshLabel"));
    m_refreshLabel->setGeometry(5, 6 + 6 * kRowHeight + 4, 200, 20);
    m_refreshList = new QComboBox(pages[0]);
    m_refreshList->setObjectName(QStringLiteral("RefreshList"));
    m_refreshList->setGeometry(210, 6 + 6 * kRowHeight + 2, 120, 24);
    m_messageLabel = new QLabel(QStringLiteral(" Check for new messages every    "), pages[2]);
    m_messageLabel->setObjectName(QStringLiteral("MessageLabel"));
    m_messageLabel->setGeometry(5, 6 + 5 * kRowHeight + 4, 200, 20);
    m_messageList = new QComboBox(pages[2]);
    m_messageList->setObjectName(QStringLiteral("MessageList"));
    m_messageList->setGeometry(210, 6 + 5 * kRowHeight + 2, 120, 24);
    m_testSound = new QPushButton(QStringLiteral("Test Sound"), pages[2]);
    m_testSound->setObjectName(QStringLiteral("TestSound"));
    m_testSound->setGeometry(340, 6 + 5 * kRowHeight + 1, 86, 26);
    for (auto [label, list, entries, count] :
         {std::tuple {m_refreshLabel, m_refreshList, &kRefreshIntervals[0], std::size(kRefreshIntervals)},
          std::tuple {m_messageLabel, m_messageList, &kMessageIntervals[0], std::size(kMessageIntervals)}}) {
        label->setAutoFillBackground(true);
        label->setContextMenuPolicy(Qt::CustomContextMenu);
        // The list shows any stored interval; only its entries can be chosen.
        list->setEditable(true);
        list->lineEdit()->setReadOnly(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        for (std::size_t i = 0; i < count; ++i)
            list->addItem(QString::fromLatin1(entries[i].caption));
    }
    connect(m_refreshLabel, &QWidget::customContextMenuRequested, this, [this] { rightClickRefreshLabel(); });
    connect(m_messageLabel, &QWidget::customContextMenuRequested, this, [this] { rightClickMessageLabel(); });
    connect(m_refreshList, &QComboBox::activated, this, [this](int i) {
        m_editor->chooseRefresh(i);
        showIntervals();
    });
    connect(m_messageList, &QComboBox::activated, this, [this](int i) {
        m_editor->chooseMessage(i);
        showIntervals();
    });
    connect(m_testSound, &QPushButton::clicked, this, [this] {
        if (m_ctx.testSound)
            m_ctx.testSound();
        else
            playMessageSound(this);
    });

    const int x = 452, w = 78;
    m_help = new QPushButton(QStringLiteral("&Help"), this);
    m_help->setObjectName(QStringLiteral("HelpButton"));
    m_help->setGeometry(x, 28, w, 27);
    m_close = new QPushButton(QStringLiteral("&Close"), this);
    m_close->setObjectName(QStringLiteral("CloseButton"));
    m_close->setGeometry(x, 60, w, 27);
    m_textPanel = new QPushButton(QStringLiteral("&Text"), this);
    m_textPanel->setObjectName(QStringLiteral("TextPanel"));
    m_textPanel->setAutoFillBackground(true);
    m_textPanel->setGeometry(x, 100, w, 25);
    m_changeAll = new QPushButton(QStringLiteral("&Chg All"), this);
    m_changeAll->setObjectName(QStringLiteral("ChangeAll"));
    m_changeAll->setToolTip(QStringLiteral("Click to set all names to the current values"));
    m_changeAll->setGeometry(x, 130, w, 27);
    m_errorLabel = new QLabel(QStringLiteral("  Error  "), this);
    m_errorLabel->setObjectName(QStringLiteral("ErrorLabel"));
    m_errorLabel->setAlignment(Qt::AlignCenter);
    paintBackground(m_errorLabel, yellow());
    m_errorLabel->setGeometry(x, 170, w, 22);
    m_errorLabel->hide();
    connect(m_help, &QPushButton::clicked, this, [this] {
        if (m_ctx.help)
            m_ctx.help(QString::fromLatin1(kHelpTopic));
    });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_textPanel, &QPushButton::clicked, this, [this] { startLabelEditing(); });
    connect(m_changeAll, &QPushButton::clicked, this, [this] { changeAll(); });

    m_addGroup = new QGroupBox(QStringLiteral(" Add new name having the options above "), this);
    m_addGroup->setObjectName(QStringLiteral("AddGroup"));
    m_addGroup->setGeometry(4, 214, kWidth - 8, 100);
    auto* nameLabel = new QLabel(QStringLiteral("Name:"), m_addGroup);
    nameLabel->setGeometry(10, 30, 45, 22);
    m_nameEdit = new QLineEdit(m_addGroup);
    m_nameEdit->setObjectName(QStringLiteral("NameEdit"));
    m_nameEdit->setMaxLength(40);
    m_nameEdit->setGeometry(58, 28, 190, 26);
    auto* groupLabel = new QLabel(QStringLiteral("Group:"), m_addGroup);
    groupLabel->setGeometry(258, 30, 48, 22);
    m_groupList = new QComboBox(m_addGroup);
    m_groupList->setObjectName(QStringLiteral("GroupList"));
    m_groupList->setEditable(true);
    m_groupList->setInsertPolicy(QComboBox::InsertAlphabetically);
    m_groupList->setMaxVisibleItems(10);
    m_groupList->lineEdit()->setMaxLength(kGroupLimit);
    m_groupList->setGeometry(308, 28, 150, 26);
    m_add = new QPushButton(QStringLiteral("&Add"), m_addGroup);
    m_add->setObjectName(QStringLiteral("AddButton"));
    m_add->setGeometry(466, 27, 56, 28);
    m_selectGroup = new QPushButton(QStringLiteral("Select Group"), m_addGroup);
    m_selectGroup->setObjectName(QStringLiteral("SelectGroup"));
    m_selectGroup->setGeometry(308, 62, 150, 28);
    connect(m_nameEdit, &QLineEdit::returnPressed, m_groupList, [this] { m_groupList->setFocus(); });
    connect(m_add, &QPushButton::clicked, this, [this] { addName(); });
    connect(m_selectGroup, &QPushButton::clicked, this, [this] {
        fillGroups();
        m_groupList->showPopup();
    });
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);
}

void TOptionsForm::placeBox(int n, QWidget* page, int row)
{
    auto* b = new engine::TTzCheckBox(q(builtInCaption(n)), page);
    b->setObjectName(QStringLiteral("TzCheckBox%1").arg(n));
    b->setProperty("tag", n);
    b->setGeometry(5, 6 + row * kRowHeight, kBoxWidth, kRowHeight - 1);
    b->setAutoFillBackground(true);
    b->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(b, &QWidget::customContextMenuRequested, this, [this, n] { rightClickBox(n); });
    m_boxes[static_cast<std::size_t>(n)] = b;
}

void TOptionsForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // The tables are read once the window is on screen.
    if (!m_initialised)
        QTimer::singleShot(0, this, [this] { initialise(); });
}

void TOptionsForm::initialise()
{
    if (m_initialised)
        return;
    m_initialised = true;
    m_editor->open(m_ctx.caption.toStdString(), m_ctx.target);
    setWindowTitle(q(m_editor->caption()));
    m_errorLabel->setVisible(m_editor->openError());
    const int count = m_editor->optionCount();
    for (int n = 1; n <= kOptionCount; ++n) {
        engine::TTzCheckBox* b = box(n);
        if (n > count) {
            b->hide();
            continue;
        }
        b->setText(q(m_editor->optionCaption(n)));
        b->setReadOnly(m_editor->boxReadOnly(n));
        b->setDataField(q(OptionsEditor::valueField(n)));
        b->setDataSource(&m_editor->table());
    }
    paintRights();
    paintLabels();
    showIntervals();
    if (m_editor->openError())
        paintBackground(box(1), yellow());
}

void TOptionsForm::paintBackground(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Button, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void TOptionsForm::paintRights()
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (int n = 1; n <= m_editor->optionCount(); ++n) {
        QColor c = m_editor->labelEditing() ? yellow() : m_editor->right(n) ? lime() : face;
        paintBackground(box(n), c);
        box(n)->setReadOnly(m_editor->boxReadOnly(n));
    }
}

void TOptionsForm::paintLabels()
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    paintBackground(m_refreshLabel, m_editor->refreshUnlocked() ? lime() : face);
    paintBackground(m_messageLabel, m_editor->messageUnlocked() ? lime() : face);
    m_refreshList->setEnabled(m_editor->refreshListEnabled());
    m_messageList->setEnabled(m_editor->messageListEnabled());
}

void TOptionsForm::showIntervals()
{
    m_refreshList->setCurrentIndex(-1);
    m_refreshList->setEditText(q(m_editor->refreshText()));
    m_messageList->setCurrentIndex(-1);
    m_messageList->setEditText(q(m_editor->messageText()));
}

void TOptionsForm::rightClickBox(int n)
{
    if (!m_ctx.adminMode || n > m_editor->optionCount())
        return;
    if (!m_editor->labelEditing()) {
        if (m_editor->toggleRight(n))
            paintRights();
        return;
    }
    if (!m_ctx.dialogs)
        return;
    std::optional<std::string> text =
        m_ctx.dialogs->askText("Change Option Label", "Enter label:", false, box(n)->text().toStdString());
    if (!text)
        return;
    if (m_editor->setLabel(n, *text))
        box(n)->setText(q(m_editor->optionCaption(n)));
    else
        tell(QStringLiteral("The label could not be written to qb3cfg2.dbf."));
}

void TOptionsForm::rightClickRefreshLabel()
{
    if (m_editor->toggleRefreshLock())
        paintLabels();
}

void TOptionsForm::rightClickMessageLabel()
{
    if (m_editor->toggleMessageLock())
        paintLabels();
}

void TOptionsForm::startLabelEditing()
{
    m_editor->startLabelEditing();
    if (!m_editor->labelEditing())
        return;
    setWindowTitle(QString::fromLatin1(kLabelEditingCaption));
    paintBackground(m_textPanel, yellow());
    paintRights();
}

void TOptionsForm::changeAll()
{
    const int bound = m_editor->boardPositions();
    m_errorLabel->show();
    m_changeAll->setEnabled(false);
    m_close->setEnabled(false);
    const int written = m_editor->changeAll(bound, [this](int recNo, int) {
        m_errorLabel->setText(QString::number(recNo));
        QCoreApplication::processEvents();
    });
    m_errorLabel->setText(QStringLiteral(" %1 Set ").arg(written));
    m_changeAll->setEnabled(true);
    m_close->setEnabled(true);
    paintRights();
    paintLabels();
    showIntervals();
}

void TOptionsForm::fillGroups()
{
    if (!m_ctx.groups)
        return;
    for (const QString& g : m_ctx.groups()) {
        const QString item = g.trimmed();
        if (!item.isEmpty() && m_groupList->findText(item, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
            m_groupList->addItem(item);
    }
    m_groupList->model()->sort(0);
}

void TOptionsForm::addName()
{
    const QString name = m_nameEdit->text().trimmed();
    if (name.isEmpty()) {
        m_nameEdit->setFocus();
        return;
    }
    m_currentGroup = m_groupList->currentText().left(kGroupLimit);
    const QString group = m_currentGroup.trimmed();
    admin::NewPerson person {name.toStdString(), group.toStdString(), m_editor->shownRecord()};
    int tries = 0;
    admin::AddPersonOutcome r = admin::addPerson(*m_ctx.station, person, [&] {
        m_ctx.station->pause(std::chrono::milliseconds(25));
        return ++tries < kAddTries;
    });
    if (r.result != admin::AddPersonResult::Ok) {
        QString text = q(r.problem);
        if (r.result == admin::AddPersonResult::OptionsFailed)
            text += r.undoFailed ? QStringLiteral(".\n%1 was written at board index %2 but could not be removed "
                                                  "again: remove that person before adding the name again.")
                                       .arg(name)
                                       .arg(r.added.boardIndex)
                                 : QStringLiteral(".\n%1 was not added.").arg(name);
        tell(text);
        m_nameEdit->setFocus();
        return;
    }
    const QString stored = group.isEmpty() ? QStringLiteral("?") : QString(group).replace(QLatin1Char('&'), QLatin1Char('+'));
    if (m_groupList->findText(stored, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        m_groupList->addItem(stored);
    if (!r.added.setAside.empty()) {
        QStringList kept;
        for (const std::string& s : r.added.setAside)
            kept << q(s);
        tell(QStringLiteral("%1 was added at board index %2, where an earlier person's records were kept aside:\n%3")
                 .arg(name)
                 .arg(r.added.boardIndex)
                 .arg(kept.join(QLatin1Char('\n'))),
             false);
    }
    if (m_ctx.nameAdded)
        m_ctx.nameAdded(r.added.boardIndex, name, stored);
    m_nameEdit->clear();
    m_nameEdit->setFocus();
}

void TOptionsForm::tell(const QString& text, bool warning)
{
    if (!m_ctx.dialogs)
        return;
    if (warning)
        m_ctx.dialogs->warn(text.toStdString());
    else
        m_ctx.dialogs->inform(text.toStdString());
}

void TOptionsForm::done(int r)
{
    m_closeResult = m_editor->close();
    switch (m_closeResult) {
    case CloseResult::NothingToWrite:
    case CloseResult::Written: break;
    case CloseResult::NotWritable:
        tell(QStringLiteral("qb3cfg3.dbf could only be opened for reading: the changes were not saved."));
        break;
    case CloseResult::LockFailed:
        tell(QStringLiteral("Another station kept the options record locked: the changes were not saved."));
        break;
    case CloseResult::WriteFailed:
        tell(QStringLiteral("The options could not be written to qb3cfg3.dbf."));
        break;
    }
    emit closedWith(m_closeResult);
    QDialog::done(r);
}

} // namespace qb::admin
