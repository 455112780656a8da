// Start-up time: from process start to the main window shown, with empty settings, against the floor: a
// plain Qt main window with the same menus, toolbars, status bar panes and two views, built from the same
// command tables, without settings, themes or file system. An empty QMainWindow is timed too, for scale.
// Each start is a fresh process; the kinds take turns. The clock stops when the window is shown: what the
// program does when it later closes is no part of its start.
#include "app/mainwindow.h"
#include "commands/commandicons.h"
#include "commands/commandtable.h"
#include "os/registry.h"
#include "settings/settings.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// The parent's monotonic clock at the fork, and the file the child reports its time to the window in.
constexpr const char* startVariable = "VENDREL_BENCH_START_NS";
constexpr const char* reportVariable = "VENDREL_BENCH_REPORT";

std::int64_t monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Runs the event loop until the window has been shown, notes the time since the fork, then quits.
int showAndQuit(QApplication& app, QWidget& window)
{
    window.show();
    // exit(), not quit(): quit() would close the window and run its close sequence, which is no part of a start.
    QTimer::singleShot(0, &app, [] {
        const std::int64_t start = std::atoll(getenv(startVariable));
        if (FILE* report = std::fopen(getenv(reportVariable), "w")) {
            std::fprintf(report, "%lld\n", static_cast<long long>(monotonicNanoseconds() - start));
            std::fclose(report);
        }
        QCoreApplication::exit(0);
    });
    return QApplication::exec();
}

void addMenuEntries(QMenu* menu, std::span<const commands::MenuEntry> entries)
{
    for (const commands::MenuEntry& entry : entries) {
        if (entry.separatorBefore)
            menu->addSeparator();
        if (entry.kind == ControlKind::Popup)
            addMenuEntries(menu->addMenu(entry.caption.toString()), entry.entries);
        else if (const commands::Command* command = commands::findCommand(entry.id))
            menu->addAction(commands::captionOf(*command));
    }
}

// The floor: what the program's window shows at start, in plain Qt.
void buildPlainWindow(QMainWindow& window)
{
    window.setWindowTitle(QStringLiteral("Vendrel"));
    for (const commands::MenuEntry& popup : commands::menuBarLayout())
        addMenuEntries(window.menuBar()->addMenu(popup.caption.toString()), popup.entries);
    const QHash<int, QIcon> icons = commandIcons();
    for (const commands::Toolbar& layout : commands::toolbarLayout()) {
        if (layout.newRow)
            window.addToolBarBreak();
        auto* bar = new QToolBar(layout.title.toString(), &window);
        for (const commands::ToolbarEntry& entry : layout.entries) {
            const commands::Command* command = commands::findCommand(entry.id);
            if (!command)
                continue;
            if (entry.separatorBefore)
                bar->addSeparator();
            if (entry.kind == ControlKind::Hosted) {
                QWidget* box =
                    command->hostedWindow.startsWith(u"txt") ? static_cast<QWidget*>(new QLineEdit) : new QComboBox;
                if (auto* combo = qobject_cast<QComboBox*>(box))
                    combo->setEditable(true);
                box->setFixedWidth(box->fontMetrics().averageCharWidth() * command->hostedChars);
                bar->addWidget(box);
            } else {
                QAction* action = bar->addAction(icons.value(command->id), commands::captionOf(*command));
                action->setToolTip(command->tooltip.toString());
            }
        }
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        bar->setVisible(layout.visible);
        window.addToolBar(bar);
    }
    for (std::size_t i = 0; i < commands::statusPaneIds().size(); ++i)
        window.statusBar()->addPermanentWidget(new QLabel);
    auto* views = new QSplitter(&window);
    views->addWidget(new QTreeView);
    views->addWidget(new QTreeView);
    window.setCentralWidget(views);
    window.resize(467, 267);
}

int child(const std::string& kind, int argc, char** argv)
{
    QApplication app(argc, argv);
    if (kind == "empty") {
        QMainWindow window;
        window.setWindowTitle(QStringLiteral("Vendrel"));
        return showAndQuit(app, window);
    }
    if (kind == "plain") {
        QMainWindow window;
        buildPlainWindow(window);
        return showAndQuit(app, window);
    }
    Registry registry(Registry::defaultUserStore());
    Settings settings(registry, QApplication::applicationDirPath().toStdString());
    MainWindow window(settings);
    window.load();
    return showAndQuit(app, window);
}

// Wall-clock seconds from the fork of one start of this program as the given kind, in a fresh settings
// folder, to its window shown.
double timeOneStart(const std::string& self, const std::string& kind, const std::string& configHome)
{
    const std::string command = "rm -rf '" + configHome + "' && mkdir -p '" + configHome + "'";
    if (std::system(command.c_str()) != 0)
        std::exit(2);
    const std::string report = configHome + "/shown";
    const std::int64_t start = monotonicNanoseconds();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        setenv(startVariable, std::to_string(start).c_str(), 1);
        setenv(reportVariable, report.c_str(), 1);
        const std::string arg = "--child=" + kind;
        execl(self.c_str(), self.c_str(), arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    long long nanoseconds = -1;
    if (FILE* shown = std::fopen(report.c_str(), "r")) {
        if (std::fscanf(shown, "%lld", &nanoseconds) != 1)
            nanoseconds = -1;
        std::fclose(shown);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || nanoseconds < 0) {
        std::fprintf(stderr, "the %s start failed\n", kind.c_str());
        std::exit(1);
    }
    return static_cast<double>(nanoseconds) * 1e-9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]).rfind("--child=", 0) == 0)
        return child(std::string(argv[1]).substr(8), argc, argv);

    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 2;
    char folder[] = "/tmp/vendrel-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 2;
    const std::string configHome = std::string(folder) + "/config";
    if (chdir(folder) != 0) // the default last folder is the current one: keep it small
        return 2;

    for (const char* kind : {"empty", "plain", "vendrel"}) // warm the file cache for all
        timeOneStart(self, kind, configHome);
    std::vector<double> empty;
    std::vector<double> plain;
    std::vector<double> vendrel;
    for (int i = 0; i < rounds; ++i) {
        empty.push_back(timeOneStart(self, "empty", configHome));
        plain.push_back(timeOneStart(self, "plain", configHome));
        vendrel.push_back(timeOneStart(self, "vendrel", configHome));
    }
    if (std::system(("rm -rf '" + std::string(folder) + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder);
    const double e = median(empty);
    const double p = median(plain);
    const double v = median(vendrel);
    std::printf("start to window shown, median of %d (platform %s)\n", rounds, getenv("QT_QPA_PLATFORM"));
    std::printf("  empty QMainWindow            %8.1f ms\n", e * 1e3);
    std::printf("  same bars and views, plain   %8.1f ms   (the floor)\n", p * 1e3);
    std::printf("  Vendrel                      %8.1f ms\n", v * 1e3);
    std::printf("  ratio to the floor           %8.2f   (target at most 1.5)\n", v / p);
    std::printf("  ratio to the empty window    %8.2f\n", v / e);
    return 0;
}
