// Filling the drawing list's grid with 100 000 rows, against the least a store of those rows must do:
// split each row's TAB text into its cells. Also reports the grid's memory per row.

#include "widgets/grid.h"

#include <QApplication>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <vector>

namespace {

constexpr int rowCount = 100000;

const std::vector<QString>& rowTexts()
{
    static const std::vector<QString> texts = [] {
        std::vector<QString> t;
        t.reserve(rowCount);
        for (int i = 0; i < rowCount; ++i)
            t.push_back(QStringLiteral("-1\tDrawing-%1-rev.dwg\t2024-03-05 14:%2\tAutoCAD-bild\t%3 kb\t")
                            .arg(i, 6, 10, QLatin1Char('0'))
                            .arg(i % 60, 2, 10, QLatin1Char('0'))
                            .arg(i % 5000));
        return t;
    }();
    return texts;
}

void setUpList(Grid& grid)
{
    grid.setCols(6);
    grid.setFixedRows(1);
    grid.setColDataType(0, Grid::DataType::Boolean);
    grid.setColHidden(0, true);
    grid.setSelectionMode(Grid::SelectionMode::ListMulti);
}

void fill(Grid& grid, bool redrawOff)
{
    if (redrawOff)
        grid.setRedraw(false);
    grid.setRows(1);
    for (const QString& text : rowTexts())
        grid.addItem(text);
    grid.setRedraw(true);
    grid.view(); // the view now knows every row
}

// The floor: every row's cells as separate strings in a vector, as the simplest store keeps them.
void floorSplitCells(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<QStringList> rows;
        rows.reserve(rowCount);
        for (const QString& text : rowTexts())
            rows.push_back(text.split(u'\t'));
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(floorSplitCells)->Unit(benchmark::kMillisecond);

void gridFillRedrawOff(benchmark::State& state)
{
    Grid grid;
    setUpList(grid);
    for (auto _ : state)
        fill(grid, true);
}
BENCHMARK(gridFillRedrawOff)->Unit(benchmark::kMillisecond);

void gridFillRedrawOn(benchmark::State& state)
{
    Grid grid;
    setUpList(grid);
    for (auto _ : state)
        fill(grid, false);
}
BENCHMARK(gridFillRedrawOn)->Unit(benchmark::kMillisecond);

// Filling a shown grid and painting it once.
void gridFillAndShow(benchmark::State& state)
{
    Grid grid;
    setUpList(grid);
    grid.resize(800, 600);
    grid.show();
    for (auto _ : state) {
        fill(grid, true);
        grid.view()->viewport()->repaint();
    }
}
BENCHMARK(gridFillAndShow)->Unit(benchmark::kMillisecond);

constexpr int subfolders = 20000;

// Opening a tree node with 20 000 subfolders the way the tree does it: a folder row and a placeholder
// inserted below the node for each, every one styled, then the view shown. Floor: inserting the same
// labels at the same positions into a vector of strings.
void floorInsertLabels(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<QString> rows(8);
        for (int i = 0; i < subfolders; ++i) {
            rows.insert(rows.begin() + 2 + 2 * i, rowTexts()[static_cast<size_t>(i)]);
            rows.insert(rows.begin() + 3 + 2 * i, QString());
        }
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(floorInsertLabels)->Unit(benchmark::kMillisecond);

void treeOpenNode(benchmark::State& state)
{
    Grid grid;
    grid.setOutlineTree(true);
    grid.resize(300, 600);
    grid.show();
    for (auto _ : state) {
        state.PauseTiming();
        grid.setRows(0);
        grid.addItem(QStringLiteral("Computer"));
        for (int d = 0; d < 4; ++d) {
            grid.addItem(QStringLiteral("Drive"));
            grid.setRowOutlineLevel(grid.rows() - 1, 1);
            grid.setIsNode(grid.rows() - 1, true);
        }
        grid.view();
        state.ResumeTiming();
        const int node = 1;
        for (int i = 0; i < subfolders; ++i) {
            const int row = node + 1 + 2 * i;
            grid.insertRow(row);
            grid.setTextMatrix(row, 0, rowTexts()[static_cast<size_t>(i)]);
            grid.setRowData(row, QByteArray("/mnt/d1/folder"));
            grid.setRowOutlineLevel(row, 2);
            grid.setIsNode(row, true);
            grid.setIsCollapsed(row, true);
            grid.insertRow(row + 1);
            grid.setRowOutlineLevel(row + 1, 3);
        }
        grid.setRow(node);
        grid.view()->viewport()->repaint();
    }
}
BENCHMARK(treeOpenNode)->Unit(benchmark::kMillisecond);

// Heap bytes a row costs, the row texts included; "beyond texts" leaves out the UTF-16 text of the row.
void gridBytesPerRow(benchmark::State& state)
{
    qint64 textBytes = 0;
    for (const QString& text : rowTexts())
        textBytes += text.size() * qint64(sizeof(QChar));
    for (auto _ : state) {
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        {
            auto* grid = new Grid;
            setUpList(*grid);
            fill(*grid, true);
            const size_t after = mallinfo2().uordblks;
            const double perRow = double(after - before) / rowCount;
            state.counters["bytes_per_row"] = perRow;
            state.counters["bytes_per_row_beyond_text"] = perRow - double(textBytes) / rowCount;
            delete grid;
        }
    }
}
BENCHMARK(gridBytesPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    rowTexts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
