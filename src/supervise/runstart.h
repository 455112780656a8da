#pragma once

#include "os/result.h"
#include "script/runrequest.h"
#include "supervise/engine.h"
#include "supervise/journal.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How a supervised run begins, for the window and vendrel-run alike: a new run gets its journal, a run taken
// up is opened and its template read again; every way this can fail is told by its cause.
namespace supervise {

struct StartProblem
{
    enum class Cause
    {
        NoRunsFolder,      // the folder for journals cannot be made
        JournalExists,     // a new run's journal: something is at its path already
        JournalBusy,       // another run holds the journal
        JournalDamaged,    // the journal is not sound (problems says where)
        JournalUnfinished, // its making never finished: nothing ran, and the same command starts it afresh
        JournalUnreadable, // the journal cannot be opened or read
        JournalUnwritable, // a new journal cannot be written
        ScriptInTheWay,    // a file the run did not make stands where its batch script goes
        SameDrawing,       // two drawings name one file: path is the later name, detail the earlier one
        Request,           // the request itself cannot run (request says why)
        NoDrawings,        // a new run over no drawing at all
    };
    Cause cause;
    std::string path;                  // the file it concerns
    std::string detail;                // what the system said
    std::vector<std::string> problems; // the damaged lines of a journal
    std::optional<script::RequestProblem> request;
};

// The message for the user (UTF-8 around the paths, each passed through shown when given: the window makes
// them fit for display).
std::string problemText(const StartProblem& problem, const std::function<std::string(std::string_view)>& shown = {});
// The warning or question when a run is taken up with an edited template.
std::string templateChangedText(std::string_view templatePath);

// A run ready for the engine: its journal held, its request with the template read, the drawings to run.
struct OpenedRun
{
    std::unique_ptr<JournalWriter> journal;
    JournalContent content;
    std::vector<std::size_t> indices;
    bool templateChanged = false; // taken up with a template that is not the bytes the run began with
};

using StartResult = Result<OpenedRun, StartProblem>;

// A new journal's name: the moment the run begins (so names sort by it) and the process.
std::string newJournalName();

// A new run over request.drawings, the request checked (script::checkRequest) and no file named twice among
// the drawings (script::findSameDrawing). The journal is journalPath, or a
// new one in the runs folder when that is empty; it never replaces anything. The policy is the one the run
// goes by, as resolvedPolicy makes it for the request's program; jobPath names the job it comes from, shard the
// part of it the run is.
StartResult createRun(script::RunRequest request, const RunPolicy& policy, const std::string& journalPath,
                      const std::string& jobPath = {}, const std::optional<ShardRecord>& shard = {});

enum class TakeUp
{
    Resume, // pending, interrupted and not-run drawings
    Retry,  // failed, timed-out and interrupted drawings
};
// What a run taken up makes of the policy its journal keeps, given the run's program. A policy other than the
// kept one is written to the journal, and the runs after it go on with it.
using PolicyChange = std::function<RunPolicy(const RunPolicy& kept, const std::string& program)>;
// An existing run, opened and held; it goes on with the policy its journal keeps unless change says otherwise.
StartResult openRun(const std::string& journalPath, TakeUp how, const PolicyChange& change = {});
// A run whose journal is already held (the window's offer at start).
StartResult takeUp(std::unique_ptr<JournalWriter> journal, JournalContent content, TakeUp how,
                   const PolicyChange& change = {});

// What the engine needs besides the run: the batch script beside the journal, the date and time format, and
// the run's policy.
RunEngine::Setup engineSetup(const std::string& journalPath, const RunPolicy& policy, script::DateTimeFormat format,
                             const process::Interrupt* interrupt, RunObserver* observer);

} // namespace supervise
