#include "BoardGrid.h"

#include "BoardGridDelegate.h"
#include "BoardGridHeader.h"
#include "BoardGridModel.h"
#include "BoardGridTable.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace qb::board {

namespace {

constexpr int kFindBoxMaxLength = 40;
constexpr int kFindBoxWidth = 220;

QFont gridFont(int size)
{
    // Windows stations show the board in Arial; without it, the desktop's own
    // sans font reads best.
    QFont font = QFontDatabase::hasFamily(QStringLiteral("Arial"))
        ? QFont(QStringLiteral("Arial"))
        : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(size);
    font.setBold(false);
    font.setItalic(false);
    return font;
}

Rgb toRgb(const QColor& c)
{
    return {c.red(), c.green(), c.blue()};
}

} // namespace

BoardGrid::BoardGrid(Board& board, QWidget* parent) : QWidget(parent), m_board(board), m_view(board)
{
    setObjectName(QStringLiteral("StringGrid1"));
    m_view.setSystemColors(toRgb(palette().color(QPalette::WindowText)), toRgb(palette().color(QPalette::Button)));

    m_model = new BoardGridModel(m_view, this);
    m_table = new BoardGridTable(this);
    m_header = new BoardGridHeader(m_table);
    m_table->setHorizontalHeader(m_header);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new BoardGridDelegate(m_table));
    m_table->setFrameShape(QFrame::NoFrame);
    // One row at a time: the find box's match (a click selects its row too).
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setWordWrap(false);
    m_table->setCornerButtonEnabled(false);
    m_table->setShowGrid(true);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setMinimumSectionSize(1);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_table);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_table);

    m_findBox = new QLineEdit(this);
    m_findBox->setObjectName(QStringLiteral("FindBox"));
    m_findBox->setMaxLength(kFindBoxMaxLength);
    m_findBox->setStyleSheet(QStringLiteral("QLineEdit#FindBox { background-color: rgb(0, 255, 0); color: black; }"));
    m_findBox->installEventFilter(this);
    m_findBox->hide();
    connect(m_findBox, &QLineEdit::textChanged, this, &BoardGrid::selectFound);

    connect(m_table, &BoardGridTable::cellPressed, this, &BoardGrid::onCellPressed);
    connect(m_header, &QHeaderView::sectionClicked, this, &BoardGrid::onTitleClicked);
    connect(m_header, &QHeaderView::sectionResized, this, &BoardGrid::onSectionResized);

    setFontSize(BoardView::kDefaultFontSize);
    reload();
}

BoardGrid::~BoardGrid() = default;

void BoardGrid::reload()
{
    m_view.rebuild();
    refreshModel();
}

bool BoardGrid::setFilter(std::string_view filter)
{
    if (!m_view.setFilter(filter))
        return false;
    refreshModel();
    emit filterChanged();
    return true;
}

void BoardGrid::refreshModel()
{
    // A reset would scroll back to the first row and may forget the section
    // sizes; a poll reload must not move what the user is looking at.
    const int scroll = m_table->verticalScrollBar()->value();
    m_applying = true;
    m_model->refresh();
    m_applying = false;
    applyWidths();
    m_table->verticalScrollBar()->setValue(scroll);
    m_header->viewport()->update();
}

void BoardGrid::applyWidths()
{
    m_applying = true;
    for (int c = 0; c < BoardView::kColumnCount; ++c)
        m_header->resizeSection(c, std::max(0, m_widths[static_cast<std::size_t>(c)]));
    m_applying = false;
}

void BoardGrid::onSectionResized(int column, int, int newSize)
{
    // Widths the user drags are the current widths the next layout reads.
    if (!m_applying && column >= 0 && column < BoardView::kColumnCount)
        m_widths[static_cast<std::size_t>(column)] = newSize;
}

int BoardGrid::rowHeight() const
{
    // Twice the point size, as Windows stations show it, but never less than
    // the text needs on a screen with more pixels per point.
    return std::max(2 * m_view.fontSize(), QFontMetrics(m_table->font()).height() + 4);
}

int BoardGrid::scrollBarExtent() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table);
}

int BoardGrid::layoutWidth() const
{
    int w = width();
    if (verticalBarNeeded())
        w -= scrollBarExtent();
    return w;
}

bool BoardGrid::verticalBarNeeded() const
{
    // The title row is one row high as well.
    return m_view.gridRowCount() * rowHeight() > height();
}

bool BoardGrid::horizontalBarNeeded() const
{
    int total = 0;
    for (int w : m_widths)
        total += std::max(0, w);
    return total > layoutWidth();
}

void BoardGrid::layoutColumns()
{
    m_widths = m_view.layoutColumns(m_widths, layoutWidth());
    applyWidths();
}

void BoardGrid::layoutColumnsForOptions()
{
    m_widths = m_view.shareAfterOptionsLoaded(m_widths, layoutWidth());
    layoutColumns();
}

BoardView::Measure BoardGrid::measureCell() const
{
    // Bounded: texts that changed (times, remarks) would otherwise pile up.
    constexpr std::size_t kMaxCached = 16384;
    const QFont font = m_table->font();
    if (!(font == m_measuredFont) || m_cellWidths.size() > kMaxCached) {
        m_cellWidths.clear();
        m_measuredFont = font;
    }
    auto metrics = std::make_shared<QFontMetricsF>(font);
    return [this, metrics](const std::string& text) -> std::optional<int> {
        if (auto it = m_cellWidths.find(text); it != m_cellWidths.end())
            return it->second;
        const int width = BoardGridDelegate::neededWidth(*metrics, QString::fromStdString(text));
        m_cellWidths.emplace(text, width);
        return width;
    };
}

BoardView::Measure BoardGrid::measureTitle() const
{
    const QFont font = m_header->font();
    return [font](const std::string& text) -> std::optional<int> {
        return BoardGridDelegate::neededWidth(font, QString::fromStdString(text)) + BoardGridHeader::arrowRoom(font);
    };
}

int BoardGrid::minColumnWidth() const
{
    // Room for a few characters and the ellipsis.
    return 4 * QFontMetrics(m_table->font()).averageCharWidth() + 2 * BoardGridDelegate::kPadding;
}

void BoardGrid::autosizeColumns()
{
    m_widths = m_view.autosizeColumns(layoutWidth(), measureCell(), measureTitle(), minColumnWidth());
    layoutColumns();
}

int BoardGrid::naturalWidth(int screenHeight) const
{
    int total = 0;
    for (int w : m_view.naturalWidths(measureCell(), measureTitle()))
        total += w;
    // Rows that do not fit the screen scroll: the bar takes its width too.
    if (m_view.fitHeight(rowHeight(), 0, screenHeight, false).capped)
        total += scrollBarExtent();
    return total;
}

int BoardGrid::fittedClientHeight(int screenHeight, bool maximised, bool* capped, int gridWidth) const
{
    bool horizontalBar = horizontalBarNeeded();
    if (gridWidth >= 0) {
        // Columns give way down to their minimum before a bar shows.
        int total = 0;
        for (int w : m_view.autosizeColumns(gridWidth, measureCell(), measureTitle(), minColumnWidth()))
            total += w;
        horizontalBar = total > gridWidth;
    }
    const FitHeight fit = m_view.fitHeight(rowHeight(), horizontalBar ? scrollBarExtent() : 0, screenHeight, maximised);
    if (capped)
        *capped = fit.capped;
    return fit.clientHeight;
}

void BoardGrid::setFontSize(int size)
{
    const int s = m_view.setFontSize(size);
    const QFont font = gridFont(s);
    m_table->setFont(font);
    m_header->setFont(font);
    m_header->setRowHeight(rowHeight());
    m_table->verticalHeader()->setDefaultSectionSize(rowHeight());
    m_findBox->setFont(font);
    placeFindBox();
    m_table->viewport()->update();
    emit fontSizeChanged(s);
}

void BoardGrid::setColumnWidths(const std::array<int, 5>& widths)
{
    m_widths = widths;
    applyWidths();
}

std::array<int, 5> BoardGrid::columnWidths() const
{
    std::array<int, 5> shown {};
    for (std::size_t c = 0; c < shown.size(); ++c)
        shown[c] = std::max(0, m_widths[c]);
    return shown;
}

void BoardGrid::onTitleClicked(int column)
{
    if (m_view.clickTitle(column))
        refreshModel();
}

void BoardGrid::onCellPressed(const QModelIndex& index, Qt::MouseButton button)
{
    const int boardIndex = m_view.boardIndexAt(index.row() + 1);
    if (boardIndex <= 0)
        return;
    const int column = index.column();
    if (column == BoardView::kGroupColumn && !m_board.adminMode &&
        (button == Qt::LeftButton || button == Qt::RightButton)) {
        if (m_view.clickGroupCell(boardIndex, button == Qt::RightButton)) {
            refreshModel();
            emit filterChanged();
        }
    }
    emit cellClicked(boardIndex, column, button);
}

void BoardGrid::placeFindBox()
{
    const int h = rowHeight() + 4;
    const int w = std::min(kFindBoxWidth, std::max(60, width() / 2));
    m_findBox->setGeometry(std::max(0, width() - w), 0, w, h);
}

void BoardGrid::startFind(QChar first)
{
    placeFindBox();
    m_findBox->setText(QString(first));
    m_findBox->show();
    m_findBox->raise();
    m_findBox->setFocus(Qt::OtherFocusReason);
    m_findBox->end(false);
}

void BoardGrid::selectFound(const QString& text)
{
    const int row = m_view.findRow(text.toStdString());
    if (row < 1) {
        m_table->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row - 1, 0);
    m_table->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

int BoardGrid::selectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row() + 1;
}

void BoardGrid::hideFind()
{
    m_findBox->hide();
    m_table->setFocus(Qt::OtherFocusReason);
}

bool BoardGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_findBox) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                hideFind();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut && m_findBox->isVisible()) {
            // Leaving the box only hides it; the focus goes where the user sent it.
            m_findBox->hide();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BoardGrid::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Alternate rows use the desktop's button-face colour: follow theme changes.
    if (event->type() == QEvent::PaletteChange) {
        m_view.setSystemColors(toRgb(palette().color(QPalette::WindowText)), toRgb(palette().color(QPalette::Button)));
        m_table->viewport()->update();
        m_header->viewport()->update();
    }
}

void BoardGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    autosizeColumns();
    placeFindBox();
}

} // namespace qb::board
