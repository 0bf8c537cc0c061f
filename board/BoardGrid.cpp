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
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
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

int BoardGrid::layoutWidth() const
{
    int w = width();
    if (verticalBarNeeded())
        w -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table);
    return w;
}

bool BoardGrid::verticalBarNeeded() const
{
    const int rowHeight = 2 * m_view.fontSize();
    return m_view.gridRowCount() * rowHeight > height();
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

void BoardGrid::autosizeColumns()
{
    const QFontMetrics metrics(m_table->font());
    auto measure = [&metrics](const std::string& text) -> std::optional<int> {
        return metrics.horizontalAdvance(QString::fromStdString(text));
    };
    m_widths = m_view.autosizeColumns(width(), verticalBarNeeded(), measure);
    layoutColumns();
}

int BoardGrid::fittedClientHeight(int screenHeight, bool maximised, bool* capped) const
{
    const FitHeight fit = m_view.fitHeight(screenHeight, horizontalBarNeeded(), maximised);
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
    m_header->setRowHeight(2 * s);
    m_table->verticalHeader()->setDefaultSectionSize(2 * s);
    m_findBox->setFont(font);
    placeFindBox();
    m_table->viewport()->update();
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
    const int h = 2 * m_view.fontSize() + 4;
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
