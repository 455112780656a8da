// How a supervised run's speed grows with the sessions at once: 400 drawings over a stand-in CAD program that
// spends 25 ms in each drawing without using the processor, in batches of 1 and of 10, with 1, 2, 4 and 8
// sessions, each against one session in the same run; and what drawing marks cost per drawing.
//   bench_sessions [DRAWINGS] [MS PER DRAWING]
#include "script/scripttemplate.h"
#include "supervise/engine.h"
#include "supervise/journal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Measured
{
    double seconds = 0;
    bool allDone = false;
};

Measured runOnce(const std::filesystem::path& folder, const std::vector<std::string>& names, std::size_t batch,
                 std::size_t sessions, bool marks)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "ritningar");
    for (const std::string& name : names)
        std::ofstream(folder / "ritningar" / name) << "dwg";
    script::RunRequest request;
    request.cad.path = STAND_IN_PROGRAM;
    request.cad.startDrawing = (folder / "start.dwg").string();
    request.listingFolder = (folder / "ritningar").string();
    request.templatePath = "bench.scr";
    request.scriptTemplate = *script::readScriptTemplate("_.OPEN \"%f\"\r\n_.QSAVE\r\n");
    request.clockReading = script::ClockReading{};
    request.drawings = names;
    supervise::RunPolicy policy;
    policy.batchSize = batch;
    policy.timeout = std::chrono::seconds(60);
    policy.sessions = sessions;
    policy.marks = marks ? supervise::MarksChoice::On : supervise::MarksChoice::Off;
    const std::string journalPath = (folder / "run.journal").string();
    auto created = supervise::JournalWriter::create(journalPath, request, policy);
    if (!created)
        return {};
    auto& journal = *created;
    supervise::JournalContent content;
    request.drawings.clear();
    content.request = request;
    content.usable = true;
    for (const std::string& name : names)
        content.drawings.emplace_back().name = name;
    supervise::RunEngine::Setup setup;
    setup.journalPath = journalPath;
    setup.policy = policy;
    std::vector<std::size_t> indices(names.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    supervise::RunEngine engine(*journal, content, setup);
    const auto start = Clock::now();
    supervise::RunOutcome outcome = engine.run(indices);
    engine.recordEnd(outcome);
    Measured measured{std::chrono::duration<double>(Clock::now() - start).count(), true};
    for (const supervise::DrawingEntry& entry : content.drawings)
        measured.allDone = measured.allDone && entry.state == supervise::State::Done;
    return measured;
}

} // namespace

int main(int argc, char** argv)
{
    const int drawings = argc > 1 ? std::atoi(argv[1]) : 400;
    const char* perDrawing = argc > 2 ? argv[2] : "25";
    ::setenv("VENDREL_STANDIN_MS", perDrawing, 1);
    ::setenv("VENDREL_STANDIN_LOG", "/dev/null", 1);
    const auto folder = std::filesystem::temp_directory_path() / ("vendrel-sessions-" + std::to_string(::getpid()));
    std::vector<std::string> names;
    for (int i = 0; i < drawings; ++i)
        names.push_back("K" + std::to_string(i) + ".dwg");

    int status = 0;
    std::printf("%d drawings, %s ms each\n", drawings, perDrawing);
    std::printf("batch  sessions  seconds  speed-up  target (0.9 N)\n");
    for (const std::size_t batch : {1u, 10u}) {
        double single = 0;
        for (const std::size_t sessions : {1u, 2u, 4u, 8u}) {
            const Measured measured = runOnce(folder, names, batch, sessions, false);
            if (!measured.allDone) {
                std::fprintf(stderr, "batch %zu, %zu sessions: not every drawing done\n", batch, sessions);
                status = 1;
            }
            if (sessions == 1)
                single = measured.seconds;
            const double speedUp = single / measured.seconds;
            std::printf("%5zu  %8zu  %7.2f  %8.2f  %s\n", batch, sessions, measured.seconds, speedUp,
                        speedUp >= 0.9 * static_cast<double>(sessions) ? "met" : "missed");
        }
    }
    const Measured without = runOnce(folder, names, 10, 1, false);
    const Measured with = runOnce(folder, names, 10, 1, true);
    std::printf("drawing marks, batch 10, one session: %.2f s without, %.2f s with: %.2f ms per drawing\n",
                without.seconds, with.seconds, (with.seconds - without.seconds) * 1000 / drawings);
    std::filesystem::remove_all(folder);
    return status;
}
