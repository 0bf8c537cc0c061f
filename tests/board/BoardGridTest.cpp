// The board grid widget and its model, run offscreen.
#include "board/BoardGrid.h"
#include "board/BoardGridHeader.h"
#include "board/BoardGridModel.h"

#include "core/Options.h"
#include "platform/Clock.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <memory>

using qb::board::Board;
using qb::board::BoardGrid;
using qb::board::BoardGridHeader;
using qb::board::BoardGridModel;
using qb::board::BoardView;
namespace opt = qb::admin::opt;

namespace {

double dateOf(int y, int m, int d, int hour, int minute)
{
    return static_cast<double>(qb::platform::daySerial(y, m, d)) + (hour * 60 + minute) / 1440.0;
}

// A small office; own row 3 ("Ben Ortiz", Support).
Board demoBoard()
{
    struct Row {
        const char *name, *remark, *group, *misc;
        int code;
        double time;
    };
    const Row rows[] = {
        {"Admin", "Remark", "Group", "Extension", 0, 0},
        {"Ada Lindqvist", "In", "Sales", "214", 'l', dateOf(2026, 12, 8, 8, 2)},
        {"Mark Feld", "Out", "R&D", "230", 'r', dateOf(2026, 12, 7, 17, 45)},
        {"Ben Ortiz", "In but unavailable", "Support", "201", 'y', dateOf(2026, 12, 8, 12, 0)},
        {"__", "", "Sales", "", 'w', 0},
        {"Chloe Dunn", "Back at 3", "Sales", "", qb::board::packColor({255, 172, 89}), dateOf(2026, 12, 8, 0, 0)},
        {"Ravi Patel", "Visiting client", "R&D", "cell 555-0102", 'a', dateOf(2026, 12, 8, 9, 30)},
        {"Nora Blake", "Holiday until Monday", "Support", "", 'f', dateOf(2026, 12, 5, 16, 10)},
        {"Tom Weiss", "In", "", "", 'l', dateOf(2026, 12, 8, 7, 55)},
    };
    Board b;
    int i = 0;
    for (const Row& r : rows) {
        b.names.emplace_back(r.name);
        b.remarks.emplace_back(r.remark);
        b.groups.emplace_back(r.group);
        b.miscs.emplace_back(r.misc);
        b.colorTexts.emplace_back("#");
        b.colorCodes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(r.code);
        b.times[static_cast<std::size_t>(i)] = r.time;
        ++i;
    }
    b.groupList = {"R&D", "Sales", "Support"};
    b.ownIndex = 3;
    b.ownName = "Ben Ortiz";
    return b;
}

QColor colorOf(const QVariant& brush)
{
    return brush.value<QBrush>().color();
}

} // namespace

class BoardGridTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_board = std::make_unique<Board>(demoBoard());
        m_grid = std::make_unique<BoardGrid>(*m_board);
        m_grid->resize(640, 260);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
        m_table = m_grid->findChild<QTableView*>();
        QVERIFY(m_table);
    }

    void cleanup()
    {
        m_grid.reset();
        m_board.reset();
    }

    void modelPassesTheTesterThroughReloadsFiltersAndSorts()
    {
        auto* model = m_table->model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->rowCount(), 7);
        QCOMPARE(model->columnCount(), 5);
        m_grid->setFilter("Sales");
        QCOMPARE(model->rowCount(), 3); // two Sales rows and the own row
        m_grid->view().clickTitle(BoardView::kRemarkColumn);
        m_grid->reload();
        m_board->names[8] = qb::board::kDeletedName;
        m_grid->setFilter("");
        QCOMPARE(model->rowCount(), 6);
        m_board->names.resize(1);
        m_grid->reload();
        QCOMPARE(model->rowCount(), 0);
    }

    void modelAnswersTheLogicsTextsAndColours()
    {
        auto* model = m_table->model();
        const BoardView& view = m_grid->view();
        for (int r = 0; r < model->rowCount(); ++r) {
            for (int c = 0; c < 5; ++c) {
                const QModelIndex index = model->index(r, c);
                const auto cell = view.cell(r + 1, c);
                QCOMPARE(index.data().toString(), QString::fromStdString(cell.text));
                QCOMPARE(colorOf(index.data(Qt::BackgroundRole)), BoardGridModel::toQColor(cell.background));
                QCOMPARE(colorOf(index.data(Qt::ForegroundRole)), BoardGridModel::toQColor(cell.foreground));
                QCOMPARE(index.data(BoardGridModel::kBoardIndexRole).toInt(), view.boardIndexAt(r + 1));
            }
        }
        // Sorted by name: row 2 of the grid (model row 1) is Ben, the own row.
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("Ben Ortiz"));
        QCOMPARE(colorOf(model->index(1, 0).data(Qt::BackgroundRole)), QColor(174, 244, 70));
        // The sort column's title carries an arrow, not a text marker.
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Admin"));
        QCOMPARE(model->headerData(0, Qt::Horizontal, BoardGridHeader::kSortArrowRole).toInt(), 1);
        QCOMPARE(model->headerData(1, Qt::Horizontal, BoardGridHeader::kSortArrowRole).toInt(), 0);
        QCOMPARE(colorOf(model->headerData(0, Qt::Horizontal, Qt::BackgroundRole)), QColor(51, 185, 236));
        QCOMPARE(colorOf(model->headerData(1, Qt::Horizontal, Qt::BackgroundRole)), QColor(197, 218, 254));
        QVERIFY(!model->headerData(0, Qt::Vertical).isValid());
    }

    void titleRowIsPaintedInTheTitleColours()
    {
        const QImage image = m_grid->grab().toImage();
        QHeaderView* header = m_table->horizontalHeader();
        auto pixelIn = [&](int column) {
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) - 4;
            return image.pixelColor(x, header->height() / 2 + 2);
        };
        QCOMPARE(pixelIn(0), QColor(51, 185, 236));
        QCOMPARE(pixelIn(1), QColor(197, 218, 254));
        m_board->adminMode = true;
        m_grid->reload();
        const QImage admin = m_grid->grab().toImage();
        const int x = header->sectionViewportPosition(2) + header->sectionSize(2) - 4;
        QCOMPARE(admin.pixelColor(x, header->height() / 2 + 2), QColor(255, 0, 255));
    }

    void groupCellClicksFilterAndReportTheRow()
    {
        QSignalSpy filterSpy(m_grid.get(), &BoardGrid::filterChanged);
        QSignalSpy clickSpy(m_grid.get(), &BoardGrid::cellClicked);
        // Model row 0 is Ada (Sales).
        clickCell(0, BoardView::kGroupColumn, Qt::LeftButton);
        QCOMPARE(m_grid->view().filter(), std::string("Sales"));
        QCOMPARE(filterSpy.count(), 1);
        QCOMPARE(clickSpy.count(), 1);
        QCOMPARE(clickSpy.at(0).at(0).toInt(), 1);
        QCOMPARE(clickSpy.at(0).at(1).toInt(), BoardView::kGroupColumn);
        QCOMPARE(clickSpy.at(0).at(2).value<Qt::MouseButton>(), Qt::LeftButton);

        // Now Ada, Ben (own), Chloe: the own row's group is another group.
        clickCell(1, BoardView::kGroupColumn, Qt::LeftButton);
        QCOMPARE(m_grid->view().filter(), std::string("Support"));
        clickCell(0, BoardView::kGroupColumn, Qt::LeftButton); // Ben again
        QCOMPARE(m_grid->view().filter(), std::string("~~"));
        QCOMPARE(m_table->model()->rowCount(), 1);
        clickCell(0, BoardView::kGroupColumn, Qt::RightButton);
        QCOMPARE(m_grid->view().filter(), std::string("Support"));
        QCOMPARE(filterSpy.count(), 4);

        // Other columns only report.
        clickCell(0, BoardView::kRemarkColumn, Qt::LeftButton);
        QCOMPARE(filterSpy.count(), 4);
        QCOMPARE(clickSpy.last().at(1).toInt(), BoardView::kRemarkColumn);
    }

    void titleClickSortsTheRows()
    {
        QHeaderView* header = m_table->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(2) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(m_grid->view().sortColumn(), BoardView::kGroupColumn);
        QVERIFY(!m_grid->view().ascending());
        // Descending by group, read from the end of the order: Support first.
        QCOMPARE(m_table->model()->index(0, 0).data().toString(), QStringLiteral("Nora Blake"));
        QCOMPARE(m_table->model()->index(1, 0).data().toString(), QStringLiteral("Ben Ortiz"));
        QCOMPARE(m_table->model()->index(6, 0).data().toString(), QStringLiteral("Tom Weiss"));
    }

    void fontSizeSetsRowAndTitleHeight()
    {
        m_grid->setFontSize(16);
        QCOMPARE(m_table->rowHeight(0), 32);
        QCOMPARE(m_table->horizontalHeader()->height(), 32);
        m_grid->setFontSize(2);
        QCOMPARE(m_grid->fontSize(), 8);
        QCOMPARE(m_table->font().pointSize(), 8);
        // Twice the size, unless the text needs more.
        QCOMPARE(m_table->rowHeight(0), std::max(16, QFontMetrics(m_table->font()).height() + 4));
    }

    void layoutHidesTheFourthColumnAndFillsTheWidth()
    {
        m_board->options.set(opt::kHideFourthColumn, true);
        m_board->options.set(opt::kShowTime, true);
        m_grid->layoutColumns();
        const auto w = m_grid->columnWidths();
        QCOMPARE(w[3], 0);
        QCOMPARE(m_table->horizontalHeader()->sectionSize(3), 0);
        QCOMPARE(w[0] + w[1] + w[2] + w[4], m_table->viewport()->width());
        QVERIFY(!m_table->horizontalScrollBar()->isVisible());
    }

    void negativeWidthsShowAsZeroAndResetTheNextLayout()
    {
        m_grid->setColumnWidths({140, -5, 77, 190, 74});
        QCOMPARE(m_grid->columnWidths()[1], 0);
        m_grid->layoutColumns();
        const int t = m_table->viewport()->width() / 10;
        QCOMPARE(m_grid->columnWidths()[0], 2 * t);
    }

    void findBoxOpensWithTheCharacterAndClosesOnEnterOrEscape()
    {
        QLineEdit* find = m_grid->findChild<QLineEdit*>(QStringLiteral("FindBox"));
        QVERIFY(find);
        QCOMPARE(m_grid->objectName(), QStringLiteral("StringGrid1"));
        QVERIFY(!find->isVisible());
        QCOMPARE(find->maxLength(), 40);

        m_grid->activateWindow();
        m_grid->startFind(QLatin1Char('k'));
        QVERIFY(find->isVisible());
        QCOMPARE(find->text(), QStringLiteral("k"));
        QCOMPARE(find->cursorPosition(), 1);
        QTRY_VERIFY(find->hasFocus());
        QTest::keyClicks(find, QStringLiteral("im"));
        QCOMPARE(find->text(), QStringLiteral("kim"));
        QCOMPARE(m_table->model()->rowCount(), 7); // it filters nothing
        QVERIFY(m_table->selectionModel()->selectedRows().isEmpty()); // nobody matches
        QTest::keyClick(find, Qt::Key_Return);
        QVERIFY(!find->isVisible());
        QTRY_VERIFY(m_table->hasFocus());

        m_grid->startFind(QLatin1Char('x'));
        QTRY_VERIFY(find->hasFocus());
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
    }

    void findBoxSelectsTheFirstMatchAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("selected"); // empty: no row selected
        // Grid order by name: Ada, Ben, Chloe, Mark, Nora, Ravi, Tom.
        QTest::newRow("begins with") << "n" << "Nora Blake";
        QTest::newRow("any case") << "RAV" << "Ravi Patel";
        QTest::newRow("beginning wins over an earlier row that contains it") << "t" << "Tom Weiss";
        QTest::newRow("else the first row that contains it") << "e" << "Ben Ortiz";
        QTest::newRow("contains, later word") << "blak" << "Nora Blake";
        QTest::newRow("no match") << "zz" << "";
    }

    void findBoxSelectsTheFirstMatchAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, selected);
        QLineEdit* find = m_grid->findChild<QLineEdit*>(QStringLiteral("FindBox"));
        m_grid->activateWindow();
        m_grid->startFind(typed.at(0));
        QTRY_VERIFY(find->hasFocus());
        QTest::keyClicks(find, typed.mid(1));
        QCOMPARE(find->text(), typed);
        QCOMPARE(m_table->model()->rowCount(), 7); // nothing is filtered
        const QModelIndexList rows = m_table->selectionModel()->selectedRows();
        QCOMPARE(rows.isEmpty() ? QString() : rows.first().data().toString(), selected);
        // Enter closes the box and keeps the row selected.
        QTest::keyClick(find, Qt::Key_Return);
        QVERIFY(!find->isVisible());
        QCOMPARE(m_table->selectionModel()->selectedRows().size(), selected.isEmpty() ? 0 : 1);
    }

    void typedCharactersAreLeftToTheWindow()
    {
        QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(m_table, &letter);
        QVERIFY(!letter.isAccepted());
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(m_table, &down);
        QVERIFY(down.isAccepted());
    }

    // Not a check: with QB_GRID_PNG set, saves a picture of a demo board.
    void snapshot()
    {
        const QString path = qEnvironmentVariable("QB_GRID_PNG");
        if (path.isEmpty())
            QSKIP("QB_GRID_PNG not set");
        m_board->options.set(opt::kAlternateRows, true);
        m_grid->resize(700, m_grid->fittedClientHeight(1000, false));
        m_grid->reload();
        m_grid->autosizeColumns();
        QCoreApplication::processEvents(); // let the view settle its scroll bars
        QVERIFY(m_grid->grab().save(path));
    }

private:
    void clickCell(int modelRow, int column, Qt::MouseButton button)
    {
        const QRect rect = m_table->visualRect(m_table->model()->index(modelRow, column));
        QVERIFY(rect.isValid());
        QTest::mousePress(m_table->viewport(), button, {}, rect.center());
        QTest::mouseRelease(m_table->viewport(), button, {}, rect.center());
    }

    std::unique_ptr<Board> m_board;
    std::unique_ptr<BoardGrid> m_grid;
    QTableView* m_table = nullptr;
};

QTEST_MAIN(BoardGridTest)
#include "BoardGridTest.moc"
