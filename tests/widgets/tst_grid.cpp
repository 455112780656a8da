#include "widgets/grid.h"
#include "widgets/twips.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Collapse
{
    int row;
    bool collapse;
    bool viewExpandedBefore; // the view's state while the handler ran
};

// A grid as the folder tree uses it: a computer row, drives below it, a placeholder under each drive.
void fillTree(Grid& grid, int drives)
{
    grid.setRedraw(false);
    grid.setRows(0);
    grid.setOutlineTree(true);
    grid.addItem(QStringLiteral("Computer"));
    grid.setIsNode(0, true);
    for (int d = 0; d < drives; ++d) {
        grid.addItem(QStringLiteral("Drive %1").arg(d));
        const int row = grid.rows() - 1;
        grid.setRowOutlineLevel(row, 1);
        grid.setIsNode(row, true);
        grid.setRowData(row, QByteArray("/d") + QByteArray::number(d));
        grid.addItem(QString());
        grid.setRowOutlineLevel(row + 1, 2);
    }
    grid.collapseLevel(1);
    grid.setRow(0);
    grid.setRedraw(true);
}

// A grid as the drawing list uses it: a header row and six columns, column 0 hidden.
void setUpList(Grid& grid)
{
    grid.setCols(6);
    grid.setFixedRows(1);
    grid.setColDataType(0, Grid::DataType::Boolean);
    grid.setColHidden(0, true);
    grid.setTextMatrix(0, 1, QStringLiteral("Namn"));
    grid.setTextMatrix(0, 2, QStringLiteral("Datum"));
    grid.setSelectionMode(Grid::SelectionMode::ListMulti);
}

QModelIndex indexOfRow(Grid& grid, int row)
{
    // Walks the view's model the way a view does, so the test checks what views see.
    QAbstractItemModel* model = grid.view()->model();
    const int target = row - grid.fixedRows();
    int seen = -1;
    std::vector<QModelIndex> stack{QModelIndex()};
    std::function<QModelIndex(const QModelIndex&)> walk = [&](const QModelIndex& parent) -> QModelIndex {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex child = model->index(r, 0, parent);
            if (++seen == target)
                return child;
            const QModelIndex found = walk(child);
            if (found.isValid())
                return found;
        }
        return {};
    };
    return walk(QModelIndex());
}

// The view's model walked depth first, as "level text" lines: must match the grid's rows one for one.
QStringList shownOutline(Grid& grid)
{
    QAbstractItemModel* model = grid.view()->model();
    QStringList lines;
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex child = model->index(r, 0, parent);
            lines.append(QStringLiteral("%1 %2").arg(depth).arg(child.data().toString()));
            walk(child, depth + 1);
        }
    };
    walk(QModelIndex(), 0);
    return lines;
}

QStringList storedOutline(const Grid& grid)
{
    // Depth as a view sees it: the number of shallower rows above that are still open ancestors.
    QStringList lines;
    std::vector<int> ancestors;
    for (int r = grid.fixedRows(); r < grid.rows(); ++r) {
        while (!ancestors.empty() && ancestors.back() >= grid.rowOutlineLevel(r))
            ancestors.pop_back();
        lines.append(QStringLiteral("%1 %2").arg(ancestors.size()).arg(grid.textMatrix(r, 0)));
        ancestors.push_back(grid.rowOutlineLevel(r));
    }
    return lines;
}

// Folders as the tree inserts them when a node is read: each closed, with a placeholder below it.
std::vector<GridRow> folderBlock(const QString& prefix, int count, int level)
{
    std::vector<GridRow> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back({QStringLiteral("%1 %2").arg(prefix).arg(i), prefix.toUtf8() + QByteArray::number(i), level,
                        true, true, 0});
        rows.push_back({QString(), QByteArray(), level + 1, false, false, -1});
    }
    return rows;
}

QPoint rowCentre(Grid& grid, int row)
{
    QTreeView* view = grid.view();
    const int firstShown = view->header()->logicalIndexAt(0);
    return view->visualRect(indexOfRow(grid, row).siblingAtColumn(firstShown)).center();
}

QPoint outlineButton(Grid& grid, int row)
{
    QTreeView* view = grid.view();
    const QRect rect = view->visualRect(indexOfRow(grid, row));
    return QPoint(rect.left() - view->indentation() / 2, rect.center().y());
}

} // namespace

class tst_Grid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerRowAndTabbedRows();
    void insertAndRemoveKeepOrderAndData();
    void outlineStructure();
    void blockOpensNodeWithoutReset();
    void pendingEditsReachViewsInOrder();
    void collapsedStateFollowsBothWays();
    void outlineButtonAsksFirst();
    void handlerMayLoadChildrenWhileAsked();
    void keysAndWholeOutlineRequests();
    void programHandlersAreNotDoubled();
    void multiSelectionTopToBottom();
    void rowCountOneDropsMarks();
    void redrawOffBatchesHundredThousandRows();
    void redrawOffKeepsViewConsistent();
    void currentRowFollowsInsertAndRemove();
    void widthsAndPlacementInTwips();
    void treeColumnFollowsItsRows();
    void keyCodes_data();
    void keyCodes();
    void editOnlyWhenAllowed();
    void droppedWidget();

private:
    std::unique_ptr<Grid> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_Grid::init()
{
    m_grid = std::make_unique<Grid>();
    m_grid->resize(400, 300);
    m_tester = std::make_unique<QAbstractItemModelTester>(m_grid->view()->model(),
                                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_Grid::cleanup()
{
    m_tester.reset();
    m_grid.reset();
}

void tst_Grid::headerRowAndTabbedRows()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    grid.addItem(QStringLiteral("-1\tPlan 100%.dwg\t2004-05-12 13:45\tdwg\t1 024 kb\t"));
    grid.addItem(QStringLiteral("-1\tb.dxf")); // fewer cells: the rest stay empty
    grid.addItem(QStringLiteral("-1\tc\t\t\t\t\tspill\tover")); // more cells than columns: the rest is dropped

    QCOMPARE(grid.rows(), 4);
    QCOMPARE(grid.textMatrix(1, 1), QStringLiteral("Plan 100%.dwg"));
    QCOMPARE(grid.textMatrix(1, 4), QStringLiteral("1 024 kb"));
    QCOMPARE(grid.textMatrix(1, 5), QString());
    QCOMPARE(grid.textMatrix(2, 1), QStringLiteral("b.dxf"));
    QCOMPARE(grid.textMatrix(2, 3), QString());
    QCOMPARE(grid.textMatrix(3, 5), QString());
    QCOMPARE(grid.textMatrix(3, 6), QString());
    QCOMPARE(grid.textMatrix(99, 1), QString());

    // A cell can hold a TAB once set directly; neighbours are untouched.
    grid.setTextMatrix(2, 2, QStringLiteral("a\tb"));
    QCOMPARE(grid.textMatrix(2, 2), QStringLiteral("a\tb"));
    QCOMPARE(grid.textMatrix(2, 1), QStringLiteral("b.dxf"));

    QAbstractItemModel* model = grid.view()->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Namn"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Plan 100%.dwg"));
    QCOMPARE(model->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!grid.view()->isHeaderHidden());
    QVERIFY(grid.view()->isColumnHidden(0));

    grid.setColAlignment(4, Grid::Alignment::RightCenter);
    QCOMPARE(model->index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignRight | Qt::AlignVCenter);
    grid.setCellAlignment(1, 4, 1, 4, Grid::Alignment::LeftCenter);
    QCOMPARE(model->index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignLeft | Qt::AlignVCenter);

    grid.setCellBold(2, 1, 3, 1, true);
    QVERIFY(grid.isCellBold(3, 1));
    QVERIFY(!grid.isCellBold(1, 1));
    QVERIFY(model->index(1, 1).data(Qt::FontRole).value<QFont>().bold());

    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    const QIcon icon(pixmap);
    grid.setCellPicture(1, 1, icon);
    grid.setCellPicture(2, 1, icon);
    QCOMPARE(model->index(1, 1).data(Qt::DecorationRole).value<QIcon>().cacheKey(), icon.cacheKey());
    QVERIFY(!model->index(2, 1).data(Qt::DecorationRole).isValid());
}

void tst_Grid::insertAndRemoveKeepOrderAndData()
{
    Grid& grid = *m_grid;
    grid.setCols(2);
    for (int i = 0; i < 5; ++i) {
        grid.addItem(QStringLiteral("r%1\tx").arg(i));
        grid.setRowData(i, QByteArray::number(i));
    }
    grid.insertRow(2);
    grid.setTextMatrix(2, 0, QStringLiteral("new"));
    grid.insertRow(grid.rows()); // at the end
    grid.removeRow(0);
    grid.insertRow(-1); // refused
    grid.removeRow(42);  // refused

    const QStringList expected{QStringLiteral("r1"), QStringLiteral("new"), QStringLiteral("r2"),
                               QStringLiteral("r3"), QStringLiteral("r4"), QString()};
    QCOMPARE(grid.rows(), expected.size());
    for (int r = 0; r < grid.rows(); ++r)
        QCOMPARE(grid.textMatrix(r, 0), expected.at(r));
    QCOMPARE(grid.rowData(0), QByteArray("1"));
    QCOMPARE(grid.rowData(1), QByteArray());
    QCOMPARE(grid.rowData(4), QByteArray("4"));

    QAbstractItemModel* model = grid.view()->model();
    QCOMPARE(model->rowCount(), 6);
    QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("new"));

    // A block: cells split at TABs, extra cells dropped, its data kept; a picture index it lacks shows none.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    const QIcon pictures[] = {QIcon(pixmap)};
    const std::vector<GridRow> block{{QStringLiteral("b0\tc0\tspill"), QByteArray("d0"), 0, false, false, 0},
                                     {QStringLiteral("b1"), QByteArray("d1"), 0, false, false, 5}};
    grid.insertRows(1, block, pictures);
    grid.insertRows(-1, block, pictures); // refused
    grid.insertRows(99, block, pictures); // refused
    grid.insertRows(0, {}, pictures);     // nothing to insert
    QCOMPARE(grid.rows(), 8);
    QCOMPARE(grid.textMatrix(0, 0), QStringLiteral("r1"));
    QCOMPARE(grid.textMatrix(1, 1), QStringLiteral("c0"));
    QCOMPARE(grid.textMatrix(2, 0), QStringLiteral("b1"));
    QCOMPARE(grid.textMatrix(3, 0), QStringLiteral("new"));
    QCOMPARE(grid.rowData(2), QByteArray("d1"));
    model = grid.view()->model();
    QCOMPARE(model->rowCount(), 8);
    QCOMPARE(model->index(1, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(), pictures[0].cacheKey());
    QVERIFY(!model->index(2, 0).data(Qt::DecorationRole).isValid());
    QCOMPARE(model->index(2, 0).data().toString(), QStringLiteral("b1"));
}

void tst_Grid::outlineStructure()
{
    Grid& grid = *m_grid;
    fillTree(grid, 3); // 0 computer, 1 drive, 2 placeholder, 3 drive, 4 placeholder, 5 drive, 6 placeholder
    QAbstractItemModel* model = grid.view()->model();
    QCOMPARE(model->rowCount(), 1);
    const QModelIndex computer = model->index(0, 0);
    QCOMPARE(model->rowCount(computer), 3);
    const QModelIndex drive1 = model->index(1, 0, computer);
    QCOMPARE(drive1.data().toString(), QStringLiteral("Drive 1"));
    QCOMPARE(model->rowCount(drive1), 1);
    QCOMPARE(model->parent(model->index(0, 0, drive1)), drive1);

    // Reading drive 1: its placeholder goes, three folders each with a placeholder come in below it.
    grid.removeRow(4);
    for (int i = 0; i < 3; ++i) {
        grid.insertRow(4 + 2 * i);
        grid.setTextMatrix(4 + 2 * i, 0, QStringLiteral("folder %1").arg(i));
        grid.setRowOutlineLevel(4 + 2 * i, 2);
        grid.setIsNode(4 + 2 * i, true);
        grid.insertRow(5 + 2 * i);
        grid.setRowOutlineLevel(5 + 2 * i, 3);
    }
    model = grid.view()->model();
    const QModelIndex drive = model->index(1, 0, model->index(0, 0));
    QCOMPARE(model->rowCount(drive), 3);
    QCOMPARE(model->index(2, 0, drive).data().toString(), QStringLiteral("folder 2"));
    QCOMPARE(model->rowCount(model->index(2, 0, drive)), 1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 3); // the last drive stays a sibling
    QCOMPARE(grid.rowOutlineLevel(10), 1);

    // A level deeper than its predecessor by more than one still hangs under the nearest shallower row.
    grid.setRowOutlineLevel(5, 7);
    QCOMPARE(grid.view()->model()->rowCount(grid.view()->model()->index(0, 0, drive)), 1);

    // The list is flat: levels do not make a tree.
    grid.setOutlineTree(false);
    QCOMPARE(grid.view()->model()->rowCount(), grid.rows());
}

void tst_Grid::blockOpensNodeWithoutReset()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 3); // 0 computer, 1 drive, 2 placeholder, 3 drive, 4 placeholder, 5 drive, 6 placeholder

    // The last drive is read and open, and so is its first folder; the current row lies below them.
    grid.removeRow(6);
    std::vector<GridRow> inLast = folderBlock(QStringLiteral("last"), 2, 2);
    inLast[0].collapsed = false;
    grid.insertRows(6, inLast);
    grid.setIsCollapsed(5, false);
    grid.setRow(8);
    QTreeView* view = grid.view();
    QVERIFY(view->isExpanded(indexOfRow(grid, 5)));
    QVERIFY(view->isExpanded(indexOfRow(grid, 6)));

    QAbstractItemModel* model = view->model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    // Reading the first drive, as the tree does: the placeholder goes, the folders come in one block.
    grid.removeRow(2);
    grid.insertRows(2, folderBlock(QStringLiteral("first"), 3, 2));
    grid.setIsCollapsed(1, false);
    view = grid.view();

    QCOMPARE(resets.size(), 0);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), indexOfRow(grid, 1));
    QCOMPARE(inserted.at(0).at(2).toInt(), 2); // three folders under the drive
    QCOMPARE(shownOutline(grid), storedOutline(grid));
    QCOMPARE(grid.rowData(6), QByteArray("first2"));
    QVERIFY(view->isExpanded(indexOfRow(grid, 1)));
    QVERIFY(!view->isExpanded(indexOfRow(grid, 2)));
    // Rows below the block moved with their view state: what was open stays open, the current row follows.
    QVERIFY(view->isExpanded(indexOfRow(grid, 10)));
    QVERIFY(view->isExpanded(indexOfRow(grid, 11)));
    QCOMPARE(grid.row(), 13);
    QCOMPARE(view->currentIndex(), indexOfRow(grid, 13));
    QCOMPARE(view->currentIndex().data().toString(), QStringLiteral("last 1"));

    // Closing a read folder again and taking whole subtrees out: still no reset.
    grid.removeRow(5); // a placeholder
    grid.removeRow(4); // its folder
    QCOMPARE(shownOutline(grid), storedOutline(grid));
    QCOMPARE(resets.size(), 0);
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 9)));
    QCOMPARE(grid.view()->currentIndex().data().toString(), QStringLiteral("last 1"));
}

void tst_Grid::pendingEditsReachViewsInOrder()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2); // 0 computer, 1 drive, 2 placeholder, 3 drive, 4 placeholder
    grid.setIsCollapsed(1, false);
    grid.setIsCollapsed(3, false);
    grid.view();

    // Many changes while redraw is off reach the views together, each on the rows as they were then;
    // the model tester checks every step.
    grid.setRedraw(false);
    grid.removeRow(4);
    grid.insertRows(4, folderBlock(QStringLiteral("b"), 2, 2));
    grid.removeRow(2);
    grid.insertRows(2, folderBlock(QStringLiteral("a"), 3, 2));
    grid.removeRow(3);                                               // a placeholder inside the new block
    grid.insertRows(3, folderBlock(QStringLiteral("a0 sub"), 1, 3)); // read in its place
    grid.insertRows(grid.rows(), folderBlock(QStringLiteral("tail"), 1, 1));
    grid.view()->viewport()->grab(); // paints from what it was told last
    grid.setRedraw(true);
    QCOMPARE(shownOutline(grid), storedOutline(grid));
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 1)));

    // An open row shows its first children when they come.
    grid.insertRows(grid.rows(), {{QStringLiteral("open, empty"), QByteArray(), 1, true, false, -1}});
    const int parent = grid.rows() - 1;
    grid.view();
    grid.insertRows(grid.rows(), folderBlock(QStringLiteral("inside"), 1, 2));
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, parent)));

    // Rows whose levels would change another row's parent cannot be told as an insert; the view is rebuilt
    // and still right.
    QSignalSpy resets(grid.view()->model(), &QAbstractItemModel::modelReset);
    grid.insertRows(2, folderBlock(QStringLiteral("shallow"), 1, 1));
    QCOMPARE(shownOutline(grid), storedOutline(grid));
    const std::vector<GridRow> deeper{{QStringLiteral("deep"), QByteArray(), 5, false, false, -1},
                                      {QStringLiteral("less deep"), QByteArray(), 4, false, false, -1}};
    grid.insertRows(1, deeper);
    QCOMPARE(shownOutline(grid), storedOutline(grid));
    QCOMPARE(resets.size(), 2);
}

void tst_Grid::collapsedStateFollowsBothWays()
{
    Grid& grid = *m_grid;
    fillTree(grid, 2);
    QTreeView* view = grid.view();
    QVERIFY(view->isExpanded(indexOfRow(grid, 0)));
    QVERIFY(!view->isExpanded(indexOfRow(grid, 1)));
    QVERIFY(grid.isCollapsed(1));
    QVERIFY(!grid.isCollapsed(2)); // a placeholder is no node

    grid.setIsCollapsed(1, false);
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 1)));

    view->collapse(indexOfRow(grid, 1));
    QVERIFY(grid.isCollapsed(1));
    view->expand(indexOfRow(grid, 3));
    QVERIFY(!grid.isCollapsed(3));

    // Restyling many rows at once keeps what is open.
    grid.setCellBold(0, 0, grid.rows() - 1, 0, true);
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 3)));
    QVERIFY(grid.view()->model()->data(indexOfRow(grid, 4), Qt::FontRole).value<QFont>().bold());

    // Collapsed rows keep their state across a rebuild of the view's structure.
    grid.insertRow(3);
    grid.setRowOutlineLevel(3, 2);
    QVERIFY(!grid.view()->isExpanded(indexOfRow(grid, 1)));
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 4)));
}

void tst_Grid::outlineButtonAsksFirst()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2);

    std::vector<Collapse> asked;
    bool refuse = true;
    connect(&grid, &Grid::beforeCollapse, this, [&](int row, bool collapse, bool& cancel) {
        asked.push_back({row, collapse, grid.view()->isExpanded(indexOfRow(grid, row))});
        cancel = refuse;
    });

    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, {}, outlineButton(grid, 1));
    QCOMPARE(asked.size(), size_t(1));
    QCOMPARE(asked[0].row, 1);
    QCOMPARE(asked[0].collapse, false);
    QVERIFY(!asked[0].viewExpandedBefore);
    QVERIFY(grid.isCollapsed(1)); // refused
    QVERIFY(!grid.view()->isExpanded(indexOfRow(grid, 1)));

    refuse = false;
    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, {}, outlineButton(grid, 1));
    QCOMPARE(asked.size(), size_t(2));
    QVERIFY(!grid.isCollapsed(1));
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 1)));

    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, {}, outlineButton(grid, 1));
    QCOMPARE(asked.back().collapse, true);
    QVERIFY(asked.back().viewExpandedBefore);
    QVERIFY(grid.isCollapsed(1));

    // Programmatic changes raise nothing.
    grid.setIsCollapsed(1, false);
    grid.collapseLevel(1);
    QCoreApplication::processEvents();
    QCOMPARE(asked.size(), size_t(3));
}

void tst_Grid::handlerMayLoadChildrenWhileAsked()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2);

    // As the tree does on first opening: replace the placeholder by folders, make the row current.
    connect(&grid, &Grid::beforeCollapse, this, [&grid](int row, bool collapse, bool&) {
        if (collapse || !grid.textMatrix(row + 1, 0).isEmpty())
            return;
        grid.removeRow(row + 1);
        for (int i = 0; i < 2; ++i) {
            grid.insertRow(row + 1 + i);
            grid.setTextMatrix(row + 1 + i, 0, QStringLiteral("folder %1").arg(i));
            grid.setRowOutlineLevel(row + 1 + i, grid.rowOutlineLevel(row) + 1);
        }
        grid.setRow(row);
    });
    QSignalSpy ups(&grid, &Grid::mouseUp);
    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, {}, outlineButton(grid, 3));
    QCOMPARE(grid.rows(), 6);
    QVERIFY(!grid.isCollapsed(3));
    QCOMPARE(grid.row(), 3);
    QCOMPARE(ups.size(), 1);
    QTreeView* view = grid.view();
    QVERIFY(view->isExpanded(indexOfRow(grid, 3)));
    QCOMPARE(view->model()->rowCount(indexOfRow(grid, 3)), 2);
    QCOMPARE(view->currentIndex(), indexOfRow(grid, 3));
}

void tst_Grid::keysAndWholeOutlineRequests()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2);
    grid.setRow(1);

    std::vector<Collapse> asked;
    bool refuse = false;
    connect(&grid, &Grid::beforeCollapse, this, [&](int row, bool collapse, bool& cancel) {
        asked.push_back({row, collapse, false});
        cancel = refuse;
    });
    QTreeView* view = grid.view();
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(asked.size(), size_t(1));
    QCOMPARE(asked[0].row, 1);
    QVERIFY(!grid.isCollapsed(1));
    QCOMPARE(grid.row(), 1); // opening does not move the current row

    QTest::keyClick(view, Qt::Key_Left);
    QCOMPARE(asked.back().collapse, true);
    QVERIFY(grid.isCollapsed(1));

    refuse = true;
    QTest::keyClick(view, Qt::Key_Asterisk);
    QCOMPARE(asked.back().row, -1);
    QVERIFY(grid.isCollapsed(1)); // the whole-outline request was refused
    QVERIFY(grid.isCollapsed(3));

    refuse = false;
    QTest::keyClick(view, Qt::Key_Asterisk);
    QVERIFY(!grid.isCollapsed(1));
    QVERIFY(!grid.isCollapsed(3));

    // Up and Down still move the current row.
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(grid.row(), 2);
}

void tst_Grid::programHandlersAreNotDoubled()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2);
    grid.setRow(1);

    // The tree's own handlers open on Right and toggle on double click; the grid must not act again.
    int asked = 0;
    connect(&grid, &Grid::beforeCollapse, this, [&asked](int, bool, bool&) { ++asked; });
    connect(&grid, &Grid::keyDown, this, [&grid](int key, Qt::KeyboardModifiers) {
        if (key == 39)
            grid.setIsCollapsed(grid.row(), false);
    });
    connect(&grid, &Grid::dblClick, this, [&grid] {
        const int row = grid.row();
        grid.setIsCollapsed(row, !(grid.isNode(row) && grid.isCollapsed(row)));
    });

    QTest::keyClick(grid.view(), Qt::Key_Right);
    QVERIFY(!grid.isCollapsed(1));
    QCOMPARE(grid.row(), 1);

    QTest::mouseDClick(grid.view()->viewport(), Qt::LeftButton, {}, rowCentre(grid, 1));
    QVERIFY(grid.isCollapsed(1));
    QTest::mouseDClick(grid.view()->viewport(), Qt::LeftButton, {}, rowCentre(grid, 1));
    QVERIFY(!grid.isCollapsed(1));
    QVERIFY(grid.view()->isExpanded(indexOfRow(grid, 1)));
    QCOMPARE(asked, 0);
}

void tst_Grid::multiSelectionTopToBottom()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    for (int i = 1; i <= 10; ++i)
        grid.addItem(QStringLiteral("-1\tfile%1.dwg").arg(i));
    QWidget* viewport = grid.view()->viewport();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(grid, 6));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(grid, 2));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(grid, 9));
    QCOMPARE(grid.selectedRows(), 3);
    QCOMPARE(grid.selectedRow(0), 2);
    QCOMPARE(grid.selectedRow(1), 6);
    QCOMPARE(grid.selectedRow(2), 9);
    QCOMPARE(grid.selectedRow(3), -1);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(grid, 6));
    QCOMPARE(grid.selectedRows(), 2);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(grid, 3));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, rowCentre(grid, 5));
    QCOMPARE(grid.selectedRows(), 3);
    QCOMPARE(grid.selectedRow(0), 3);
    QCOMPARE(grid.selectedRow(2), 5);

    // A right click, also below the last row, reports its release and leaves the marks alone.
    QSignalSpy ups(&grid, &Grid::mouseUp);
    const QPoint below(10, viewport->height() - 2);
    QTest::mouseClick(viewport, Qt::RightButton, {}, below);
    QTest::mouseClick(viewport, Qt::RightButton, {}, rowCentre(grid, 8));
    QCOMPARE(ups.size(), 2);
    QCOMPARE(ups.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    QCOMPARE(grid.rowAt(ups.at(0).at(2).toPoint()), -1);
    QCOMPARE(grid.rowAt(ups.at(1).at(2).toPoint()), 8);
    QTest::mouseClick(grid.view()->header()->viewport(), Qt::RightButton, {}, QPoint(40, 5));
    QCOMPARE(ups.size(), 3);
    QCOMPARE(grid.rowAt(ups.at(2).at(2).toPoint()), 0);
    QCOMPARE(grid.selectedRows(), 3);

    // Marking all and none through ranges, as the list's commands do.
    grid.select(1, 0, grid.rows() - 1, grid.cols() - 1);
    QCOMPARE(grid.selectedRows(), 10);
    QCOMPARE(grid.view()->selectionModel()->selectedRows().size(), 10);
    grid.select(0, 0, 0, 0);
    QCOMPARE(grid.selectedRows(), 0);
    QVERIFY(grid.view()->selectionModel()->selectedRows().isEmpty());
}

void tst_Grid::rowCountOneDropsMarks()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    for (int i = 0; i < 20; ++i)
        grid.addItem(QStringLiteral("-1\tf%1").arg(i));
    grid.select(1, 0, 20, 5);
    QCOMPARE(grid.selectedRows(), 20);
    QCOMPARE(grid.view()->selectionModel()->selectedRows().size(), 20);

    grid.setRows(1);
    QCOMPARE(grid.rows(), 1);
    QCOMPARE(grid.selectedRows(), 0);
    QCOMPARE(grid.textMatrix(0, 1), QStringLiteral("Namn"));
    for (int i = 0; i < 5; ++i)
        grid.addItem(QStringLiteral("-1\tg%1").arg(i));
    QCOMPARE(grid.selectedRows(), 0);
    QVERIFY(grid.view()->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(grid.view()->model()->rowCount(), 5);

    grid.setRows(0); // never below the header
    QCOMPARE(grid.rows(), 1);
}

void tst_Grid::redrawOffBatchesHundredThousandRows()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QAbstractItemModel* model = grid.view()->model();
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);

    constexpr int count = 100000;
    grid.setRedraw(false);
    for (int i = 0; i < count; ++i)
        grid.addItem(QStringLiteral("-1\tdrawing%1.dwg\t2024-01-02 03:04\tdwg\t%1 kb\t").arg(i));
    QCoreApplication::processEvents();
    QCOMPARE(inserted.size(), 0);
    QCOMPARE(model->rowCount(), 0);
    grid.setRedraw(true);

    QCOMPARE(inserted.size() + reset.size(), 1);
    QCOMPARE(model->rowCount(), count);
    QCOMPARE(grid.rows(), count + 1);
    QCOMPARE(model->index(count - 1, 1).data().toString(), QStringLiteral("drawing%1.dwg").arg(count - 1));
    QCOMPARE(grid.textMatrix(50001, 4), QStringLiteral("50000 kb"));

    grid.select(1, 0, grid.rows() - 1, 5);
    QCOMPARE(grid.selectedRows(), count);
    QCOMPARE(grid.selectedRow(count - 1), count);

    // Appending with redraw on is announced too, in order.
    grid.setRows(1);
    for (int i = 0; i < 1000; ++i)
        grid.addItem(QStringLiteral("-1\tx%1").arg(i));
    QCoreApplication::processEvents();
    QCOMPARE(model->rowCount(), 1000);
    QCOMPARE(model->index(999, 1).data().toString(), QStringLiteral("x999"));
    QCOMPARE(grid.selectedRows(), 0);
}

void tst_Grid::redrawOffKeepsViewConsistent()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 3);
    grid.setIsCollapsed(1, false);
    QSignalSpy keys(&grid, &Grid::keyDown);
    QSignalSpy asked(&grid, &Grid::beforeCollapse);

    grid.setRedraw(false);
    grid.setRows(1);
    // The view may still paint from what it was told last; it must find the model consistent.
    grid.view()->viewport()->grab();
    QTest::keyClick(grid.view(), Qt::Key_Right);
    QTest::mouseClick(grid.view()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(keys.size(), 0);
    QCOMPARE(asked.size(), 0);
    grid.addItem(QStringLiteral("again"));
    grid.setRedraw(true);
    QCOMPARE(grid.view()->model()->rowCount(), 2);
    QCOMPARE(grid.view()->model()->rowCount(grid.view()->model()->index(0, 0)), 0);
    grid.view()->viewport()->grab();
}

void tst_Grid::currentRowFollowsInsertAndRemove()
{
    Grid& grid = *m_grid;
    for (int i = 0; i < 6; ++i)
        grid.addItem(QString::number(i));
    grid.setRow(3);
    QCOMPARE(grid.selectedRows(), 1);
    grid.insertRow(1);
    QCOMPARE(grid.row(), 4);
    QCOMPARE(grid.selectedRow(0), 4);
    QCOMPARE(grid.view()->currentIndex().data().toString(), QStringLiteral("3"));
    grid.removeRow(4);
    QCOMPARE(grid.row(), -1);
    QCOMPARE(grid.selectedRows(), 0);
    grid.setRow(99); // refused
    QCOMPARE(grid.row(), -1);
}

void tst_Grid::widthsAndPlacementInTwips()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    grid.setColWidth(1, 2000);
    grid.setColWidth(2, 500);
    QCOMPARE(grid.colWidth(1), 2000);
    QCOMPARE(grid.colWidth(2), 500); // exact, though 500 twips are not a whole number of pixels
    QCOMPARE(grid.view()->header()->sectionSize(1), twips::toPixels(2000, &grid));

    // A width the user drags is read back: one the header takes (its least width follows the font's widest
    // glyph, more than 50 pixels with Windows' Tahoma).
    const int dragged = std::max(50, grid.view()->header()->minimumSectionSize() + 7);
    grid.view()->header()->resizeSection(2, dragged);
    QCOMPARE(grid.colWidth(2), int(twips::fromPixels(dragged, &grid)));
    QVERIFY(grid.colWidth(5) > 0);
    QCOMPARE(grid.colWidth(17), 0);

    QWidget frame;
    grid.setParent(&frame);
    grid.setGeometryTwips(50, 180, 2350, 2640);
    QCOMPARE(grid.leftTwips(), 50);
    QCOMPARE(grid.topTwips(), 180);
    QCOMPARE(grid.widthTwips(), 2350);
    QCOMPARE(grid.heightTwips(), 2640);
    QCOMPARE(grid.width(), twips::toPixels(2350, &grid));

    grid.setGeometryTwips(60, 180, -100, 3000); // a negative width is refused, the rest applies
    QCOMPARE(grid.widthTwips(), 2350);
    QCOMPARE(grid.heightTwips(), 3000);
    QCOMPARE(grid.leftTwips(), 60);
    grid.setParent(nullptr);
}

// The width the widest shown row of a one-column tree needs, as the view's own delegate measures it.
int widestShownRow(Grid& grid)
{
    QTreeView* view = grid.view();
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    const int small = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
    option.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(small, small);
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = view->textElideMode();
    int widest = 0;
    for (int r = 0; r < grid.rows(); ++r) {
        const QModelIndex index = indexOfRow(grid, r);
        const QRect rect = view->visualRect(index);
        if (!rect.isValid())
            continue; // inside a closed node
        const int width = view->itemDelegateForIndex(index)->sizeHint(option, index).width();
        widest = std::max(widest, rect.left() + view->horizontalScrollBar()->value() + width);
    }
    return widest;
}

void tst_Grid::treeColumnFollowsItsRows()
{
    Grid& grid = *m_grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    fillTree(grid, 2);
    grid.setIsCollapsed(1, false);
    QTreeView* view = grid.view();
    QHeaderView* header = view->header();
    const auto followsRows = [&] {
        QTreeView* v = grid.view();
        QCOMPARE(header->sectionResizeMode(0), QHeaderView::ResizeToContents);
        QCOMPARE(v->textElideMode(), Qt::ElideNone);
        const int need = widestShownRow(grid);
        // Never narrower than a row needs; a few pixels to spare at most (kerning is not counted).
        QVERIFY2(header->sectionSize(0) >= need && header->sectionSize(0) <= need + 8,
                 qPrintable(QStringLiteral("column %1, rows need %2").arg(header->sectionSize(0)).arg(need)));
    };
    followsRows();
    if (QTest::currentTestFailed())
        return;

    // The user (or the header) sets a width of its own: the column keeps following its rows.
    header->resizeSection(0, 30);
    grid.setTextMatrix(2, 0, QStringLiteral("a placeholder now showing a long name"));
    followsRows();
    if (QTest::currentTestFailed())
        return;

    // Rows added deeper and wider, and in bold, widen it; closing their node narrows it again.
    const int before = header->sectionSize(0);
    grid.removeRow(4);
    std::vector<GridRow> deep = folderBlock(QStringLiteral("a folder with a rather long name"), 2, 2);
    deep[0].collapsed = false;
    deep.insert(deep.begin() + 1,
                {QStringLiteral("deeper still, with the longest name of all"), QByteArray(), 3, false, false, -1});
    grid.insertRows(4, deep);
    grid.setIsCollapsed(3, false);
    grid.setCellBold(5, 0, 5, 0, true);
    followsRows();
    if (QTest::currentTestFailed())
        return;
    const int wide = header->sectionSize(0);
    QVERIFY(wide > before);
    grid.setIsCollapsed(3, true);
    followsRows();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(header->sectionSize(0) < wide);
    QCOMPARE(grid.colWidth(0), int(twips::fromPixels(header->sectionSize(0), &grid)));
}

void tst_Grid::keyCodes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("code");
    QTest::newRow("left") << int(Qt::Key_Left) << 0 << 37;
    QTest::newRow("up") << int(Qt::Key_Up) << 0 << 38;
    QTest::newRow("right") << int(Qt::Key_Right) << 0 << 39;
    QTest::newRow("down") << int(Qt::Key_Down) << 0 << 40;
    QTest::newRow("space") << int(Qt::Key_Space) << 0 << 32;
    QTest::newRow("return") << int(Qt::Key_Return) << 0 << 13;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 27;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 0 << 46;
    QTest::newRow("ctrl+a") << int(Qt::Key_A) << int(Qt::ControlModifier) << 65;
    QTest::newRow("z") << int(Qt::Key_Z) << 0 << 90;
    QTest::newRow("7") << int(Qt::Key_7) << 0 << 55;
    QTest::newRow("keypad 7") << int(Qt::Key_7) << int(Qt::KeypadModifier) << 103;
    QTest::newRow("f1") << int(Qt::Key_F1) << 0 << 112;
    QTest::newRow("f12") << int(Qt::Key_F12) << 0 << 123;
    QTest::newRow("home") << int(Qt::Key_Home) << 0 << 36;
    QTest::newRow("end") << int(Qt::Key_End) << 0 << 35;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 0 << 33;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 0 << 34;
    QTest::newRow("insert") << int(Qt::Key_Insert) << 0 << 45;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << 8;
}

void tst_Grid::keyCodes()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, code);
    Grid& grid = *m_grid;
    setUpList(grid);
    for (int i = 0; i < 5; ++i)
        grid.addItem(QStringLiteral("-1\tf%1").arg(i));
    QSignalSpy downs(&grid, &Grid::keyDown);
    QSignalSpy ups(&grid, &Grid::keyUp);
    QTest::keyClick(grid.view(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    // A modifier held is a key of its own first (17 for Ctrl); the key itself comes last.
    QVERIFY(!downs.isEmpty());
    QCOMPARE(downs.last().at(0).toInt(), code);
    QCOMPARE(downs.last().at(1).value<Qt::KeyboardModifiers>(),
             Qt::KeyboardModifiers(modifiers) & ~Qt::KeypadModifier);
    QVERIFY(!ups.isEmpty());
    QCOMPARE(ups.first().at(0).toInt(), code);
}

void tst_Grid::editOnlyWhenAllowed()
{
    Grid& grid = *m_grid;
    setUpList(grid);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.addItem(QStringLiteral("-1\tplan.dwg"));
    QList<QPair<int, int>> asked;
    bool allow = false;
    connect(&grid, &Grid::beforeEdit, this, [&](int row, int col, bool& cancel) {
        asked.append({row, col});
        cancel = !allow;
    });
    QTreeView* view = grid.view();
    const auto editorOpen = [view] { return !view->viewport()->findChildren<QLineEdit*>().isEmpty(); };
    view->setCurrentIndex(view->model()->index(0, 1));
    QTest::keyClick(view, Qt::Key_F2);
    QVERIFY(asked.isEmpty()); // not editable: nothing starts
    QVERIFY(!editorOpen());

    grid.setEditable(true);
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0), qMakePair(1, 1));
    QVERIFY(!editorOpen());

    allow = true;
    QTest::keyClick(view, Qt::Key_F2);
    QVERIFY(editorOpen());
    QLineEdit* editor = view->viewport()->findChild<QLineEdit*>();
    editor->setText(QStringLiteral("new.dwg"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits from the event loop
    QCOMPARE(grid.textMatrix(1, 1), QStringLiteral("new.dwg"));
}

void tst_Grid::droppedWidget()
{
    QWidget window;
    auto* splitter = new QWidget(&window);
    splitter->setObjectName(QStringLiteral("picDrag"));
    Grid* grid = m_grid.release();
    m_tester.reset();
    grid->setParent(&window);
    grid->setGeometry(10, 10, 300, 200);
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QSignalSpy drops(grid, &Grid::dragDrop);
    QWidget* viewport = grid->view()->viewport();
    const QPoint at(30, 45);
    std::unique_ptr<QMimeData> data(Grid::widgetDragData(splitter));
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &drop);
    QCOMPARE(drops.size(), 1);
    QCOMPARE(drops.at(0).at(0).value<QWidget*>(), splitter);
    const QPoint inGrid = viewport->mapTo(grid, at);
    QCOMPARE(drops.at(0).at(1).toInt(), int(twips::fromPixels(inGrid.x(), grid)));
    QCOMPARE(drops.at(0).at(2).toInt(), int(twips::fromPixels(inGrid.y(), grid)));

    // Other data is not taken.
    QMimeData text;
    text.setText(QStringLiteral("x"));
    QDragEnterEvent other(at, Qt::CopyAction, &text, Qt::LeftButton, {});
    QCoreApplication::sendEvent(viewport, &other);
    QVERIFY(!other.isAccepted());
}

QTEST_MAIN(tst_Grid)
#include "tst_grid.moc"
