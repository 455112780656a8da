// Start-up time: from process start to the main window shown, with empty settings, against a bare
// QMainWindow program built the same way. Each start is a fresh process; both kinds take turns. The clock
// stops when the window is shown: what the program does when it later closes is no part of its start.
#include "app/mainwindow.h"
#include "os/registry.h"
#include "settings/settings.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>
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

int child(const std::string& kind, int argc, char** argv)
{
    QApplication app(argc, argv);
    if (kind == "bare") {
        QMainWindow window;
        window.setWindowTitle(QStringLiteral("Vendrel"));
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

    timeOneStart(self, "bare", configHome); // warm the file cache for both
    timeOneStart(self, "vendrel", configHome);
    std::vector<double> bare;
    std::vector<double> vendrel;
    for (int i = 0; i < rounds; ++i) {
        bare.push_back(timeOneStart(self, "bare", configHome));
        vendrel.push_back(timeOneStart(self, "vendrel", configHome));
    }
    if (std::system(("rm -rf '" + std::string(folder) + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", folder);
    const double b = median(bare);
    const double v = median(vendrel);
    std::printf("start to window shown, median of %d (platform %s)\n", rounds, getenv("QT_QPA_PLATFORM"));
    std::printf("  bare QMainWindow  %8.1f ms\n", b * 1e3);
    std::printf("  Vendrel           %8.1f ms\n", v * 1e3);
    std::printf("  ratio             %8.2f   (target at most 1.5)\n", v / b);
    return 0;
}
