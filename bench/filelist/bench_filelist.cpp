// Filling the drawing list from a folder of 100 000 drawings, against the least any listing must do: read
// the folder and stat every entry. Also against QFileSystemModel loading the same folder, one keystroke in
// the filter box over 10 000 drawings, and the list's memory per row. Ratios are printed at the end.

#include "filelist/filelist.h"
#include "os/drives.h"
#include "tree/foldertree.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int bigCount = 100000;
constexpr int keystrokeCount = 10000;

struct Folders
{
    QTemporaryDir dir;
    std::string big;
    std::string small;
    std::size_t bigNameBytes = 0;
};

Folders* folders = nullptr;

// Drawings of varied sizes written over three years, so dates, times and sizes differ from file to file.
std::size_t makeDrawings(const std::string& folder, int count)
{
    mkdir(folder.c_str(), 0755);
    std::mt19937 random(count);
    std::uniform_int_distribution<int> size(0, 4 << 20);
    std::uniform_int_distribution<int> age(0, 3 * 365 * 86400);
    const time_t now = time(nullptr);
    std::size_t nameBytes = 0;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%06d-rev%c.dwg", i % 3 ? "Plan" : "detalj", i, 'A' + i % 7);
        nameBytes += std::strlen(name);
        const std::string path = folder + "/" + name;
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0)
            continue;
        if (ftruncate(fd, size(random)) != 0)
            std::perror("ftruncate");
        const timespec times[2] = {{now, 0}, {now - age(random), 0}};
        futimens(fd, times);
        close(fd);
    }
    return nameBytes;
}

struct ListFixture
{
    Grid tree;
    Drives drives;
    FolderTree folderTree{tree, drives};
    Grid files;
    FileList list{files, folderTree};

    explicit ListFixture(const std::string& folder)
    {
        files.setFixedRows(1);
        files.setCols(6);
        files.setColDataType(0, Grid::DataType::Boolean);
        files.setColHidden(0, true);
        files.setSelectionMode(Grid::SelectionMode::ListMulti);
        files.resize(800, 600);
        files.show();
        tree.addItem(QStringLiteral("folder"));
        tree.setRowData(0, QByteArray::fromStdString(folder));
        tree.setRow(0);
    }
    void showRows()
    {
        files.view();
        files.view()->viewport()->repaint();
    }
};

// The floor: read the folder once and stat every entry.
void readAndStat(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    const int fd = dirfd(dir);
    std::int64_t total = 0;
    while (const dirent* entry = readdir(dir)) {
        struct stat info;
        if (fstatat(fd, entry->d_name, &info, 0) == 0)
            total += info.st_size + info.st_mtim.tv_sec;
    }
    closedir(dir);
    benchmark::DoNotOptimize(total);
}

void floorReadAndStat(benchmark::State& state)
{
    for (auto _ : state)
        readAndStat(folders->big);
}
BENCHMARK(floorReadAndStat)->Unit(benchmark::kMillisecond)->MinTime(2);

void floorKeystroke(benchmark::State& state)
{
    for (auto _ : state)
        readAndStat(folders->small);
}
BENCHMARK(floorKeystroke)->Unit(benchmark::kMillisecond)->MinTime(2);

void fillFileList(benchmark::State& state)
{
    ListFixture fixture(folders->big);
    fixture.list.applyFilterPattern(QStringLiteral("*.dwg"));
    for (auto _ : state) {
        fixture.list.fillFileList();
        fixture.showRows();
    }
    state.counters["rows"] = fixture.files.rows() - 1;
}
BENCHMARK(fillFileList)->Unit(benchmark::kMillisecond)->MinTime(2);

// QFileSystemModel reading the same folder into a shown view, until every file is a row.
void fileSystemModel(benchmark::State& state)
{
    QTreeView view;
    view.resize(800, 600);
    view.show();
    for (auto _ : state) {
        QFileSystemModel model;
        model.setFilter(QDir::Files);
        model.setNameFilters({QStringLiteral("*.dwg")});
        model.setNameFilterDisables(false);
        view.setModel(&model);
        const QModelIndex root = model.setRootPath(QString::fromStdString(folders->big));
        view.setRootIndex(root);
        while (model.rowCount(root) < bigCount)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        view.viewport()->repaint();
        view.setModel(nullptr);
    }
}
BENCHMARK(fileSystemModel)->Unit(benchmark::kMillisecond)->Iterations(2);

// One keystroke in the filter box: the pattern changes and the list is filled again.
void keystroke(benchmark::State& state)
{
    ListFixture fixture(folders->small);
    const QString patterns[] = {QStringLiteral("*.dwg"), QStringLiteral("*.dw*")};
    int i = 0;
    for (auto _ : state) {
        fixture.list.applyFilterPattern(patterns[i++ % 2], FileList::Reading::MayReuse);
        fixture.showRows();
    }
}
BENCHMARK(keystroke)->Unit(benchmark::kMillisecond)->MinTime(2);

// Heap bytes a listed file costs; "beyond names" leaves out both copies of its name (the shown text and
// the exact bytes).
void bytesPerRow(benchmark::State& state)
{
    for (auto _ : state) {
        auto fixture = std::make_unique<ListFixture>(folders->big);
        fixture->showRows();
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        fixture->list.applyFilterPattern(QStringLiteral("*.dwg"));
        fixture->showRows();
        const size_t after = mallinfo2().uordblks;
        const double perRow = double(after - before) / bigCount;
        const double namesPerRow = double(folders->bigNameBytes) * 3 / bigCount; // UTF-16 text + bytes
        state.counters["bytes_per_row"] = perRow;
        state.counters["bytes_per_row_beyond_names"] = perRow - namesPerRow;
    }
}
BENCHMARK(bytesPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
            for (const auto& [name, counter] : run.counters)
                counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> counters;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Folders made;
    folders = &made;
    made.big = made.dir.filePath(QStringLiteral("big")).toStdString();
    made.small = made.dir.filePath(QStringLiteral("small")).toStdString();
    made.bigNameBytes = makeDrawings(made.big, bigCount);
    makeDrawings(made.small, keystrokeCount);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto time = [&](const char* name) {
        const auto found = reporter.times.find(name);
        return found == reporter.times.end() ? 0.0 : found->second;
    };
    const double floor = time("floorReadAndStat/min_time:2.000");
    const double fill = time("fillFileList/min_time:2.000");
    const double model = time("fileSystemModel/iterations:2");
    if (floor > 0 && fill > 0)
        std::printf("fill / floor (target <= 2):            %.2f\n", fill / floor);
    if (model > 0 && fill > 0)
        std::printf("fill / QFileSystemModel (target < 1):  %.2f\n", fill / model);
    if (const double key = time("keystroke/min_time:2.000"); key > 0) {
        std::printf("keystroke over %d files (target < 30 ms): %.1f ms; floor %.1f ms\n", keystrokeCount, key,
                    time("floorKeystroke/min_time:2.000"));
    }
    if (reporter.counters.count("bytes_per_row_beyond_names"))
        std::printf("bytes per row beyond names (target <= 400): %.0f\n",
                    reporter.counters["bytes_per_row_beyond_names"]);
    return 0;
}
