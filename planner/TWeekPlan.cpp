#include "TWeekPlan.h"

#include "core/Dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qb::planner {

namespace {

constexpr int kRowHeight = 17;
const QColor kPaleYellow(255, 255, 208);
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri"};

QString q(const std::string& s) { return QString::fromStdString(s); }

QString shortDate(std::int64_t serial)
{
    return QLocale::system().toString(QDate(1899, 12, 30).addDays(serial), QLocale::ShortFormat);
}

// In-place editor that reports every change of its text, so that each
// keystroke is saved as the user types.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(QObject* parent, std::function<void(const QModelIndex&, const QString&)> typed)
        : QStyledItemDelegate(parent), m_typed(std::move(typed))
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setObjectName(QStringLiteral("CellEditor"));
            const QPersistentModelIndex at(index);
            QObject::connect(edit, &QLineEdit::textEdited, edit, [this, at](const QString& text) {
                if (at.isValid())
                    m_typed(at, text);
            });
        }
        return w;
    }

    // The grid's text follows every keystroke; giving it back to the editor
    // would move the caret to the end while the user types in the middle.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (edit && edit->text() == index.data(Qt::EditRole).toString())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }

private:
    std::function<void(const QModelIndex&, const QString&)> m_typed;
};

} // namespace

TWeekPlan::TWeekPlan(engine::Engine& engine, const QString& dataDir, const platform::Clock& clock,
                     core::Dialogs* dialogs, QWidget* parent, Pause pause)
    : QDialog(parent), m_plan(engine, dataDir.toStdString(), clock, std::move(pause)), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("WeekPlan"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildGrid();
    layout->addWidget(m_xg);

    m_notSaved = new QLabel(this);
    m_notSaved->setObjectName(QStringLiteral("NotSaved"));
    m_notSaved->setStyleSheet(QStringLiteral("color: #b00000; padding: 2px 6px;"));
    m_notSaved->setVisible(false);
    layout->addWidget(m_notSaved);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFocusPolicy(Qt::StrongFocus);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(4);
    m_label1 = new QLabel(panel);
    m_label1->setObjectName(QStringLiteral("Label1"));
    row->addWidget(m_label1, 1);
    auto button = [&](const QString& caption, const QString& name, void (TWeekPlan::*slot)()) {
        auto* b = new QPushButton(caption, panel);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    button(QStringLiteral("Copy"), QStringLiteral("CopyWeek"), &TWeekPlan::copyWeek);
    m_pasteButton = button(QStringLiteral("Paste"), QStringLiteral("PasteWeek"), &TWeekPlan::pasteWeek);
    button(QStringLiteral("Select a Week"), QStringLiteral("SelectWeek"), &TWeekPlan::selectWeek);
    button(QStringLiteral("&Prior Week"), QStringLiteral("PriorWeek"), &TWeekPlan::priorWeek);
    button(QStringLiteral("&This Week"), QStringLiteral("ThisWeek"), &TWeekPlan::thisWeek);
    button(QStringLiteral("&Next Week"), QStringLiteral("NextWeek"), &TWeekPlan::nextWeek);
    button(QStringLiteral("&Close"), QStringLiteral("CloseBtn"), &TWeekPlan::reject);
    layout->addWidget(panel);

    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    m_popupMenu1->addAction(QStringLiteral("Cu&t"), QKeySequence(QStringLiteral("Ctrl+X")), this, &TWeekPlan::cutCell);
    m_popupMenu1->addAction(QStringLiteral("&Copy"), QKeySequence(QStringLiteral("Ctrl+C")), this,
                            &TWeekPlan::copyCell);
    m_popupMenu1->addAction(QStringLiteral("&Paste"), QKeySequence(QStringLiteral("Ctrl+V")), this,
                            &TWeekPlan::pasteCell);
    m_popupMenu1->addAction(QStringLiteral("Close")); // no action of its own
    resize(640, 6 * kRowHeight + 2 + panel->sizeHint().height());
}

void TWeekPlan::buildGrid()
{
    m_xg = new QTableWidget(6, 3, this);
    m_xg->setObjectName(QStringLiteral("xg"));
    m_xg->horizontalHeader()->hide();
    m_xg->verticalHeader()->hide();
    m_xg->verticalHeader()->setMinimumSectionSize(kRowHeight);
    m_xg->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_xg->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_xg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_xg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_xg->setSelectionMode(QAbstractItemView::SingleSelection);
    m_xg->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_xg->setTabKeyNavigation(true);
    m_xg->setFixedHeight(6 * kRowHeight + 2);
    m_xg->setToolTip(QStringLiteral("Click twice on a cell to edit it.\rRight click for cut/paste menu."));
    m_xg->setContextMenuPolicy(Qt::CustomContextMenu);
    m_xg->viewport()->installEventFilter(this);
    m_xg->setItemDelegate(new CellDelegate(m_xg, [this](const QModelIndex& at, const QString& text) {
        setCell(at.row(), at.column(), text);
        saveCell(at.row(), at.column());
    }));
    const QColor face = palette().color(QPalette::Button);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (r == 0 || c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(face);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
                if (r == 2 || r == 4)
                    item->setBackground(kPaleYellow);
            }
            m_xg->setItem(r, c, item);
        }
    m_xg->item(0, 1)->setText(QStringLiteral("AM"));
    m_xg->item(0, 2)->setText(QStringLiteral("PM"));
    for (int r = 1; r <= 5; ++r)
        m_xg->item(r, 0)->setText(QString::fromLatin1(kDays[r - 1]));
    connect(m_xg, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        // An edit committed without a keystroke seen (an input method, say).
        if (!m_filling && item->row() > 0 && item->column() > 0)
            saveCell(item->row(), item->column());
    });
    connect(m_xg, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (m_xg->isEnabled())
            m_popupMenu1->popup(m_xg->viewport()->mapToGlobal(at));
    });
}

void TWeekPlan::fitColumns()
{
    const int w = m_xg->width();
    // 30 pixels hold the day names in the small font the grid was laid out
    // for; a larger desktop font gets what its names need.
    m_xg->setColumnWidth(0, std::max(30, m_xg->fontMetrics().horizontalAdvance(QStringLiteral("Wed")) + 10));
    m_xg->setColumnWidth(1, (w - m_xg->columnWidth(0)) / 2);
    m_xg->setColumnWidth(2, std::max(0, w - m_xg->columnWidth(0) - m_xg->columnWidth(1) - 8));
}

void TWeekPlan::setOwner(int ident, const QString& displayName, bool editable)
{
    m_plan.setOwner(ident, editable);
    m_ownerName = displayName;
}

void TWeekPlan::setCell(int row, int column, const QString& text)
{
    m_filling = true;
    m_xg->item(row, column)->setText(text);
    m_filling = false;
}

QString TWeekPlan::cellText(int row, int column) const { return m_xg->item(row, column)->text(); }

void TWeekPlan::loadWeek()
{
    move(m_anchor + QPoint(10, 10));
    setWindowTitle(QStringLiteral("Weekly Planner for ") + m_ownerName);
    m_xg->setEnabled(m_plan.editable());
    m_pasteButton->setEnabled(m_plan.editable());
    if (QWidget* panel = findChild<QWidget*>(QStringLiteral("Panel1")))
        panel->setFocus();
    setCell(0, 0, QStringLiteral("-"));
    PlannerTable::Load l = m_plan.load();
    m_label1->setText(q(planner::weekLabel(m_plan.key(), [](std::int64_t d) { return shortDate(d).toStdString(); })));
    if (!l.setAside.empty())
        inform(QStringLiteral("The planner file was not a table. It was kept as %1 and a new planner started.")
                   .arg(q(l.setAside)));
    if (!l.ok) {
        setCell(1, 1, q(l.error));
        // The other cells still show what they showed, perhaps another
        // week: typing there would write that text into this week.
        m_xg->setEnabled(false);
        m_pasteButton->setEnabled(false);
        showWaiting();
        return;
    }
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 2; ++c)
            setCell(r, c, q(l.cells[static_cast<std::size_t>(cellIndex(c, r))]));
    setCell(0, 0, QStringLiteral("*"));
    showWaiting();
}

void TWeekPlan::saveCell(int row, int column)
{
    if (row < 1 || row > 5 || column < 1 || column > 2)
        return;
    m_plan.saveCell(column, row, cellText(row, column).toStdString());
    showWaiting();
}

void TWeekPlan::showWaiting()
{
    const auto waiting = m_plan.waitingCells();
    m_filling = true;
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 2; ++c) {
            QTableWidgetItem* item = m_xg->item(r, c);
            const bool marked = waiting.count({c, r}) > 0;
            item->setForeground(marked ? QColor(0xb0, 0, 0) : palette().color(QPalette::Text));
            QFont f = item->font();
            f.setItalic(marked);
            item->setFont(f);
            item->setToolTip(marked ? QStringLiteral("Not saved yet") : QString());
        }
    m_filling = false;
    const QString text = q(m_plan.waitingText());
    m_notSaved->setText(text.isEmpty() ? text : text + QStringLiteral(" It is saved with the next change."));
    m_notSaved->setVisible(!text.isEmpty());
}

void TWeekPlan::saveCurrentCell()
{
    if (m_xg->isEnabled() && m_xg->currentRow() >= 1 && m_xg->currentColumn() >= 1)
        saveCell(m_xg->currentRow(), m_xg->currentColumn());
}

void TWeekPlan::copyWeek()
{
    WeekCells cells;
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 2; ++c)
            cells[static_cast<std::size_t>(cellIndex(c, r))] = cellText(r, c).toStdString();
    QApplication::clipboard()->setText(q(copyWeekText(cells)));
}

void TWeekPlan::pasteWeek()
{
    if (!m_plan.editable())
        return;
    for (const PastedCell& cell : parseWeekPaste(QApplication::clipboard()->text().toStdString())) {
        setCell(cell.row, cell.column, q(cell.text));
        saveCell(cell.row, cell.column);
    }
}

void TWeekPlan::selectWeek()
{
    saveCurrentCell();
    if (!m_dialogs)
        return;
    ++m_ownDialogs;
    std::optional<double> date = m_dialogs->askDate();
    --m_ownDialogs;
    // Showing the prompt took the activation away: the week is today's
    // again unless a date was chosen.
    m_plan.deactivated();
    if (date)
        m_plan.select(*date);
    loadWeek();
}

void TWeekPlan::priorWeek()
{
    saveCurrentCell();
    m_plan.prior();
    loadWeek();
}

void TWeekPlan::thisWeek()
{
    saveCurrentCell();
    m_plan.thisWeek();
    loadWeek();
}

void TWeekPlan::nextWeek()
{
    saveCurrentCell();
    m_plan.next();
    loadWeek();
}

void TWeekPlan::cutCell()
{
    const int r = m_xg->currentRow(), c = m_xg->currentColumn();
    if (r < 1 || c < 1)
        return;
    QApplication::clipboard()->setText(cellText(r, c));
    setCell(r, c, QString());
    QApplication::processEvents();
    saveCell(r, c);
}

void TWeekPlan::copyCell()
{
    const int r = m_xg->currentRow(), c = m_xg->currentColumn();
    if (r >= 1 && c >= 1)
        QApplication::clipboard()->setText(cellText(r, c));
}

// The window's own boxes do not count as losing the activation.
void TWeekPlan::inform(const QString& text)
{
    if (!m_dialogs)
        return;
    ++m_ownDialogs;
    m_dialogs->message(core::Dialogs::Box::Information, text.toStdString(), core::Dialogs::Buttons::Ok, std::nullopt,
                       windowTitle().toStdString());
    --m_ownDialogs;
}

// Without dialogs nobody can answer: the question counts as No.
bool TWeekPlan::confirm(const QString& text)
{
    if (!m_dialogs)
        return false;
    ++m_ownDialogs;
    const auto answer = m_dialogs->message(core::Dialogs::Box::Question, text.toStdString(),
                                           core::Dialogs::Buttons::YesNo, std::nullopt, windowTitle().toStdString(),
                                           core::Dialogs::Answer::No);
    --m_ownDialogs;
    return answer == core::Dialogs::Answer::Yes;
}

void TWeekPlan::pasteCell()
{
    const int r = m_xg->currentRow(), c = m_xg->currentColumn();
    if (r < 1 || c < 1)
        return;
    setCell(r, c, QApplication::clipboard()->text());
    QApplication::processEvents();
    saveCell(r, c);
}

void TWeekPlan::reject()
{
    if (m_plan.hasWaiting() && m_plan.saveWaiting() != SaveResult::Saved) {
        showWaiting();
        if (!confirm(q(m_plan.waitingText()) +
                     QStringLiteral("\n\nClose the planner anyway? What is not saved will be lost.")))
            return;
        m_plan.dropWaiting();
        showWaiting();
    }
    m_plan.deactivated(); // the next showing starts at today's week
    QDialog::reject();
}

void TWeekPlan::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || m_ownDialogs > 0)
        return;
    if (isActiveWindow()) {
        loadWeek();
    } else if (QApplication::activeWindow()) {
        // Lost to another window of the program: the next showing starts at
        // today's week.
        m_plan.deactivated();
    }
}

void TWeekPlan::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitColumns();
    loadWeek();
}

void TWeekPlan::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    fitColumns();
}

bool TWeekPlan::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_xg->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress) {
            // Any button first makes the cell under the pointer current.
            const QModelIndex at = m_xg->indexAt(mouse->position().toPoint());
            if (at.isValid() && at.row() > 0 && at.column() > 0)
                m_xg->setCurrentCell(at.row(), at.column());
        } else if (event->type() == QEvent::MouseButtonRelease && mouse->position().y() < 64 + 4) {
            const int rest = m_xg->width() - m_xg->columnWidth(0) - m_xg->columnWidth(1) - 8;
            m_xg->setColumnWidth(2, std::max(0, rest));
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace qb::planner
