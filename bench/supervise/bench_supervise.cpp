// The supervised run's own cost per batch: a run of many one-drawing batches with a CAD program that ends at
// once, against the floor of starting and awaiting that same program as often, measured in the same run.
//   bench_supervise [BATCHES] [FOLDER]   (FOLDER: where the drawings and the journal lie; default: a new
//                                         folder under the temporary folder)
#include "os/processtree.h"
#include "script/scripttemplate.h"
#include "supervise/engine.h"
#include "supervise/journal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int batches = argc > 1 ? std::atoi(argv[1]) : 300;
    const std::filesystem::path folder =
        argc > 2 ? std::filesystem::path(argv[2])
                 : std::filesystem::temp_directory_path() / ("vendrel-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "ritningar");
    std::vector<std::string> names;
    for (int i = 0; i < batches; ++i) {
        names.push_back("K" + std::to_string(i) + ".dwg");
        std::ofstream(folder / "ritningar" / names.back()) << "dwg";
    }
    const std::string program = "/bin/true";
    const std::string scriptPath = (folder / "run.scr").string();

    // The floor: the program started with the same command line and awaited, as often.
    const std::string startDrawing = (folder / "helvscr.dwg").string();
    const auto floorStart = Clock::now();
    for (int i = 0; i < batches; ++i) {
        char* args[] = {const_cast<char*>(program.c_str()), const_cast<char*>(startDrawing.c_str()),
                        const_cast<char*>("/b"), const_cast<char*>(scriptPath.c_str()), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, args, environ) != 0)
            return 1;
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    const auto floor = Clock::now() - floorStart;

    // The same through the watched process tree alone.
    script::RunRequest treeInputs;
    treeInputs.cad.path = program;
    treeInputs.cad.startDrawing = startDrawing;
    const std::string commandLine = supervise::RunEngine::commandLine(treeInputs, scriptPath);
    const auto treeStart = Clock::now();
    for (int i = 0; i < batches; ++i) {
        auto tree = process::ProcessTree::start(commandLine, process::Show::Minimized);
        if (!tree ||
            (*tree)->wait(Clock::now() + std::chrono::seconds(60), nullptr) != process::ProcessTree::Wait::Ended)
            return 1;
    }
    const auto treeTime = Clock::now() - treeStart;

    script::RunRequest inputs;
    inputs.cad.path = program;
    inputs.cad.startDrawing = startDrawing;
    inputs.listingFolder = (folder / "ritningar").string();
    inputs.templatePath = "bench.scr";
    inputs.scriptTemplate = *script::readScriptTemplate("_.OPEN %f\r\n_.QSAVE _.CLOSE\r\n");
    inputs.clockReading = script::ClockReading{};
    inputs.drawings = names;
    const std::string journalPath = (folder / "run.journal").string();
    std::filesystem::remove(journalPath);
    auto created = supervise::JournalWriter::create(journalPath, inputs, {});
    if (!created) {
        std::fprintf(stderr, "journal: %s\n", created.error().message.c_str());
        return 1;
    }
    auto& journal = *created;
    supervise::JournalContent content;
    inputs.drawings.clear();
    content.request = inputs;
    content.usable = true;
    for (const std::string& name : names)
        content.drawings.emplace_back().name = name;
    supervise::RunEngine::Setup setup;
    setup.journalPath = journalPath;
    std::vector<std::size_t> indices(names.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    supervise::RunEngine engine(*journal, content, setup);
    const auto runStart = Clock::now();
    supervise::RunOutcome outcome = engine.run(indices);
    engine.recordEnd(outcome);
    const auto run = Clock::now() - runStart;
    if (outcome.end != supervise::RunOutcome::End::Completed) {
        std::fprintf(stderr, "run: %s\n", outcome.error.c_str());
        return 1;
    }

    const double perFloor = seconds(floor) / batches * 1000;
    const double perRun = seconds(run) / batches * 1000;
    std::printf("batches %d in %s\n", batches, folder.c_str());
    std::printf("program start and end (floor)  %.3f ms per batch\n", perFloor);
    std::printf("  of which the process tree    %.3f ms per batch\n", seconds(treeTime) / batches * 1000);
    std::printf("supervised run                 %.3f ms per batch\n", perRun);
    std::printf("overhead                       %.3f ms per batch (target under 10 ms)\n", perRun - perFloor);
    if (argc <= 2)
        std::filesystem::remove_all(folder);
    return perRun - perFloor < 10 ? 0 : 1;
}
