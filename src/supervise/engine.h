#pragma once

#include "os/process.h"
#include "script/expandtemplate.h"
#include "supervise/journal.h"

#include <chrono>
#include <span>
#include <string>
#include <vector>

namespace process {
class Interrupt;
}

namespace supervise {

// Hears how a run goes, on the run's own thread.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // The CAD program is about to start on these drawings.
    virtual void batchStarted(std::span<const std::size_t> indices) = 0;
    // These drawings have their final state (entries in the same order).
    virtual void settled(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries) = 0;
};

struct RunOutcome
{
    enum class End
    {
        Completed, // every chosen drawing had its batch
        Stopped,   // the interrupt was raised: the batch in progress is interrupted, the rest not-run
        Broken,    // the script or the journal could not be written, or the program could not start
    } end = End::Completed;
    std::string error; // what broke the run
};

// Runs the template over drawings of a journal in batches, each batch in a fresh session of the CAD program,
// waiting for each session at most the time-out per drawing times the batch's drawings, and records every
// drawing's state in the journal before the next batch begins. The caller's content follows the journal.
class RunEngine final
{
public:
    struct Setup
    {
        script::DateTimeFormat format;                 // for %date and %time, read for each line
        std::string scriptPath;                        // where each batch's script is written
        const process::Interrupt* interrupt = nullptr; // raised to stop the run
        RunObserver* observer = nullptr;
    };

    RunEngine(JournalWriter& journal, JournalContent& content, Setup setup);

    // Runs the drawings at these indices, in the order given (list order).
    RunOutcome run(std::span<const std::size_t> indices);
    // Closes the run in the journal, so it is not taken for one that died. Left out when the program itself
    // goes away in the middle of a run: that run is offered again at the next start. A journal that cannot
    // be written makes a completed run broken.
    bool recordEnd(RunOutcome& outcome);

    // The command line that starts the CAD program on a script, as a plain run starts it.
    static std::string commandLine(const script::RunRequest& request, const std::string& scriptPath);
    // The command a supervised session starts: the same words, with the paths as whole arguments.
    static process::Command command(const script::RunRequest& request, const std::string& scriptPath);
    // When a session of this many drawings is over time; never earlier than the time-out per drawing allows,
    // however large the inputs.
    static std::chrono::steady_clock::time_point sessionDeadline(std::chrono::steady_clock::time_point started,
                                                                 std::chrono::milliseconds perDrawing,
                                                                 std::size_t drawings);

private:
    Result<void> settle(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries);
    void settleRest(std::span<const std::size_t> indices, State state, std::int64_t whenMs);

    JournalWriter& m_journal;
    JournalContent& m_content;
    Setup m_setup;
};

} // namespace supervise
