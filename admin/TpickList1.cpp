#include "TpickList1.h"

#include "admin/RemarkItemDelegate.h"
#include "engine/TTzSession.h"
#include "ui/PaintedIcons.h"

#include <QApplication>
#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace qb::admin {

namespace {

constexpr int kMargin = 4;
constexpr int kSpacing = 4;

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* objectName)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(objectName));
    // Enter must not pick or close through a default button.
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setMinimumWidth(10);
    return b;
}

} // namespace

TpickList1::TpickList1(RemarkList& list, core::Dialogs& dialogs, const platform::Clock& clock, QWidget* parent)
    : QDialog(parent), m_list(list), m_prompts(dialogs), m_clock(clock)
{
    setObjectName(QStringLiteral("TpickList1"));
    setWindowIcon(pickListIcon());
    setModal(true);
    m_colorChooser = [this](const QColor& initial) -> std::optional<QColor> {
        QColor c = QColorDialog::getColor(initial, this);
        if (!c.isValid())
            return std::nullopt;
        return c;
    };
    buildUi();
    setListFontSize(m_fontSize);
}

void TpickList1::buildUi()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    outer->setSpacing(kSpacing);

    m_listBox = new QListWidget(this);
    m_listBox->setObjectName(QStringLiteral("ListBox1"));
    m_listBox->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listBox->setUniformItemSizes(true);
    m_listBox->setMinimumHeight(20);
    m_delegate = new RemarkItemDelegate(m_listBox);
    m_listBox->setItemDelegate(m_delegate);
    m_listBox->installEventFilter(this);
    outer->addWidget(m_listBox, 1);

    m_adminPanel = new QWidget(this);
    m_adminPanel->setObjectName(QStringLiteral("AdminPanel"));
    auto* grid = new QGridLayout(m_adminPanel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(kSpacing);
    m_upBtn = makeButton(m_adminPanel, QStringLiteral("\u25B2"), "UpBtn");
    m_upBtn->setToolTip(QStringLiteral("Move up"));
    m_downBtn = makeButton(m_adminPanel, QStringLiteral("\u25BC"), "DownBtn");
    m_downBtn->setToolTip(QStringLiteral("Move down"));
    m_deleteBtn = makeButton(m_adminPanel, QStringLiteral("&Delete"), "DeleteBtn");
    m_addBtn = makeButton(m_adminPanel, QStringLiteral("&Add"), "AddBtn");
    m_renameBtn = makeButton(m_adminPanel, QStringLiteral("&Rename"), "RenameBtn");
    m_closeBtn = makeButton(m_adminPanel, QStringLiteral("Close"), "CloseBtn");
    grid->addWidget(m_upBtn, 0, 0);
    grid->addWidget(m_downBtn, 0, 1);
    grid->addWidget(m_deleteBtn, 0, 2);
    grid->addWidget(m_addBtn, 1, 0);
    grid->addWidget(m_renameBtn, 1, 1);
    grid->addWidget(m_closeBtn, 1, 2);
    outer->addWidget(m_adminPanel);

    m_bottomPanel = new QWidget(this);
    m_bottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    auto* row = new QHBoxLayout(m_bottomPanel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    m_colorBtn = makeButton(m_bottomPanel, QStringLiteral("Color"), "ColorBtn");
    m_cancelBtn = makeButton(m_bottomPanel, QStringLiteral("&Cancel"), "CancelBtn");
    m_helpBtn = makeButton(m_bottomPanel, QStringLiteral("&Help"), "HelpBtn");
    row->addWidget(m_colorBtn);
    row->addStretch(1);
    row->addWidget(m_cancelBtn);
    row->addWidget(m_helpBtn);
    outer->addWidget(m_bottomPanel);

    connect(m_listBox, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (!m_admin)
            tryPick(m_listBox->row(item));
    });
    connect(m_listBox, &QListWidget::currentRowChanged, this, &TpickList1::selectionChanged);
    connect(m_listBox, &QListWidget::itemSelectionChanged, this, &TpickList1::selectionChanged);
    connect(m_upBtn, &QPushButton::clicked, this, &TpickList1::moveUp);
    connect(m_downBtn, &QPushButton::clicked, this, &TpickList1::moveDown);
    connect(m_deleteBtn, &QPushButton::clicked, this, &TpickList1::deleteEntry);
    connect(m_addBtn, &QPushButton::clicked, this, &TpickList1::addEntry);
    connect(m_renameBtn, &QPushButton::clicked, this, &TpickList1::renameEntry);
    connect(m_closeBtn, &QPushButton::clicked, this, &TpickList1::closeAdmin);
    connect(m_colorBtn, &QPushButton::clicked, this, &TpickList1::chooseColor);
    connect(m_cancelBtn, &QPushButton::clicked, this, &TpickList1::reject);
    connect(m_helpBtn, &QPushButton::clicked, this, &TpickList1::showHelp);
}

// --- modes ---------------------------------------------------------------------------

std::optional<PickResult> TpickList1::pick(const QString& forName, const QString& currentRemark,
                                           const Options& options, const QPoint& boardTopLeft)
{
    preparePick(forName, currentRemark, options, boardTopLeft);
    exec();
    return m_result;
}

bool TpickList1::maintain(int saverIndex, const QPoint& boardTopLeft)
{
    prepareMaintain(saverIndex, boardTopLeft);
    exec();
    return m_saved;
}

void TpickList1::preparePick(const QString& forName, const QString& currentRemark, const Options& options,
                             const QPoint& boardTopLeft)
{
    m_admin = false;
    m_options = options;
    setWindowTitle(QString::fromLatin1(kPickCaption) + QLatin1Char(' ') + forName.left(60));
    prepareCommon(boardTopLeft);
    const QString current = currentRemark.trimmed();
    for (int i = 0; i < m_list.count() && !current.isEmpty(); ++i) {
        if (QString::fromStdString(m_list.entries()[static_cast<std::size_t>(i)].text).compare(
                current, Qt::CaseInsensitive) == 0) {
            m_listBox->setCurrentRow(i);
            break;
        }
    }
}

void TpickList1::prepareMaintain(int saverIndex, const QPoint& boardTopLeft)
{
    m_admin = true;
    m_saverIndex = saverIndex;
    setWindowTitle(QString::fromLatin1(kAdminCaption));
    prepareCommon(boardTopLeft);
}

void TpickList1::prepareCommon(const QPoint& boardTopLeft)
{
    m_result.reset();
    m_saved = false;
    move(boardTopLeft + QPoint(20, 10));
    m_adminPanel->setVisible(m_admin);
    m_colorBtn->setVisible(m_admin || m_options[opt::kRemarkColors]);
    m_list.ensureLoaded();
    fillList(-1);
    m_upBtn->setEnabled(false);
    m_downBtn->setEnabled(false);
    m_deleteBtn->setEnabled(true);
    fitSize();
}

void TpickList1::fillList(int selectRow)
{
    QSignalBlocker block(m_listBox);
    m_listBox->clear();
    for (int i = 0; i < m_list.count(); ++i) {
        const RemarkEntry& e = m_list.entries()[static_cast<std::size_t>(i)];
        auto* item = new QListWidgetItem(QString::fromStdString(e.text), m_listBox);
        item->setData(RemarkItemDelegate::kColorCodeRole, static_cast<int>(static_cast<std::uint8_t>(e.color)));
        if (m_list.isNotice(i)) {
            // Shown so the person knows the list is the built-in one, but
            // neither selectable nor pickable.
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
            item->setData(RemarkItemDelegate::kNoticeRole, true);
            item->setToolTip(QStringLiteral("The shared remark list could not be read; these are the built-in "
                                            "remarks. Ask the administrator to run qbtool check."));
        }
    }
    if (selectRow >= 0 && selectRow < m_listBox->count())
        m_listBox->setCurrentRow(selectRow);
    else
        m_listBox->setCurrentRow(-1);
    block.unblock();
    selectionChanged();
}

int TpickList1::widthForFontSize(int size)
{
    switch (size) {
    case 8: return 240;
    case 10: return 300;
    case 14: return 380;
    case 24: return 580;
    default: return 330;
    }
}

void TpickList1::fitSize()
{
    const int frame = 2 * m_listBox->frameWidth();
    int panels = m_bottomPanel->sizeHint().height();
    if (m_admin)
        panels += kSpacing + m_adminPanel->sizeHint().height();
    const int chrome = 2 * kMargin + kSpacing + frame;
    int h = m_delegate->itemHeight() * (m_list.count() + 1) + panels + chrome;
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        h = std::min(h, avail.bottom() + 1 - y() - 30);
    }
    h = std::max(h, 120);
    // Never so low that the buttons (and the administrator panel) are cut off.
    h = std::max(h, panels + chrome + m_delegate->itemHeight());
    resize(widthForFontSize(m_fontSize), h);
}

void TpickList1::setListFontSize(int size)
{
    m_fontSize = std::max(8, size);
    QFont f = m_listBox->font();
    f.setPointSize(m_fontSize);
    m_listBox->setFont(f);
    m_delegate->setItemHeight(std::max(2 * m_fontSize, QFontMetrics(f).height() + 2));
    m_list.clear();
    m_listBox->clear();
}

// --- selection and picking --------------------------------------------------------------

int TpickList1::selectedRow() const
{
    const QList<QListWidgetItem*> sel = m_listBox->selectedItems();
    return sel.isEmpty() ? -1 : m_listBox->row(sel.first());
}

void TpickList1::selectionChanged()
{
    if (!m_admin)
        return;
    const int row = selectedRow();
    m_upBtn->setEnabled(row >= 0);
    m_downBtn->setEnabled(row >= 0);
    m_deleteBtn->setEnabled(row < 0 || m_list.canDelete(row));
}

void TpickList1::tryPick(int row)
{
    if (m_list.isNotice(row))
        return;
    if (row < 0 || row >= m_list.count()) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    std::optional<PickResult> r = m_list.pick(row, m_clock, m_prompts, m_options);
    if (!r)
        return; // a prompt was cancelled: the person may pick again
    m_result = std::move(r);
    accept();
}

bool TpickList1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_listBox && event->type() == QEvent::KeyPress && !m_admin) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
            tryPick(selectedRow());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TpickList1::message(const QString& text) { m_prompts.inform(text.toStdString()); }

void TpickList1::reject()
{
    m_result.reset();
    QDialog::reject();
}

void TpickList1::hideEvent(QHideEvent* event)
{
    // A fallback list is dropped so that the next opening tries the table.
    m_list.clearIfErrorMarked();
    QDialog::hideEvent(event);
}

// --- administrator actions ----------------------------------------------------------------

void TpickList1::moveUp()
{
    const int row = selectedRow();
    if (row <= 0) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    if (m_list.moveUp(row))
        fillList(row - 1);
}

void TpickList1::moveDown()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    if (m_list.moveDown(row))
        fillList(row + 1);
}

void TpickList1::deleteEntry()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    if (!m_list.canDelete(row))
        return;
    const QString text = QString::fromStdString(m_list.entries()[static_cast<std::size_t>(row)].text);
    if (!m_prompts.confirm((QStringLiteral("Delete ") + text).toStdString()))
        return;
    if (m_list.remove(row))
        fillList(std::min(row, m_list.count() - 1));
}

void TpickList1::addEntry()
{
    std::optional<std::string> text = m_prompts.askText("Add New Remark", "Enter Remark:", false, std::string(19, ' '));
    if (!text)
        return;
    const int at = m_list.add(selectedRow(), *text);
    if (at >= 0) {
        fillList(at);
        fitSize();
    }
}

void TpickList1::renameEntry()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    const QString current = QString::fromStdString(m_list.entries()[static_cast<std::size_t>(row)].text);
    std::optional<std::string> text = m_prompts.askText("Rename Remark", "Enter new text:", false,
                                                        current.leftJustified(30, u' ').toStdString());
    if (text && m_list.rename(row, *text))
        fillList(row);
}

void TpickList1::chooseColor()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QString::fromLatin1(kNoSelection));
        return;
    }
    const board::Rgb now =
        board::colorOfCode(static_cast<std::uint8_t>(m_list.entries()[static_cast<std::size_t>(row)].color));
    std::optional<QColor> chosen = m_colorChooser(QColor(now.r, now.g, now.b));
    if (!chosen)
        return;
    const board::Rgb rgb {chosen->red(), chosen->green(), chosen->blue()};
    if (m_list.setColor(row, RemarkList::codeForColor(rgb, engine::TTzSession::instance().codePage)))
        fillList(row);
}

void TpickList1::closeAdmin()
{
    if (m_list.changed()) {
        SaveResult r = m_list.save(m_saverIndex);
        if (!r.ok) {
            // The list and its changed mark stay; the administrator may retry.
            m_prompts.warn(r.message);
            return;
        }
        m_saved = true;
    }
    accept();
}

void TpickList1::showHelp()
{
    emit helpRequested(QString::fromLatin1(m_admin ? kAdminHelpTopic : kPickHelpTopic));
}

// --- icon ---------------------------------------------------------------------------------

QIcon TpickList1::pickListIcon() { return ui::icons::pickList(); }

} // namespace qb::admin
