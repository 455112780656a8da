#pragma once

#include "os/process.h"
#include "script/expandtemplate.h"
#include "supervise/journal.h"
#include "supervise/runpolicy.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace process {
class Interrupt;
class ProcessTree;
}

namespace supervise {

// Hears how a run goes. Calls come from the threads of the sessions, one at a time, never two at once.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // Session number session (from 1) is about to start the CAD program on these drawings.
    virtual void batchStarted(std::size_t session, std::span<const std::size_t> indices) = 0;
    // These drawings have their final state (entries in the same order).
    virtual void settled(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries) = 0;
    // With marks: the session's drawing in progress is now index, which began at wall clock startedMs.
    virtual void drawingBegan(std::size_t session, std::size_t index, std::int64_t startedMs)
    {
        (void)session, (void)index, (void)startedMs;
    }
    // These drawings of a session that ended were never opened in it: they go back to the queue.
    virtual void requeued(std::span<const std::size_t> indices) { (void)indices; }
    // The session has no batch now (its CAD program ended or was killed).
    virtual void sessionEnded(std::size_t session) { (void)session; }
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
// up to sessions of them at once, and records every drawing's state in the journal. Without marks a session
// gets at most the time-out per drawing times the batch's drawings and its drawings share its outcome; with
// marks each drawing is accounted for by its own marks, the time-out counts from the last mark, and drawings
// a broken session never opened go back to the queue. The caller's content follows the journal.
class RunEngine final
{
public:
    struct Setup
    {
        script::DateTimeFormat format;                 // for %date and %time, read for each line
        std::string journalPath;                       // the sessions' scripts and marks files lie beside it
        const process::Interrupt* interrupt = nullptr; // raised to stop the run
        RunObserver* observer = nullptr;
        // Drawing marks only when its choice is On: the caller has resolved Auto (resolvedPolicy).
        RunPolicy policy;
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
    // The command a supervised session starts: the same words, with the paths as whole arguments. The console
    // form names the drawing (a whole path) instead of the start drawing.
    static process::Command command(const script::RunRequest& request, const std::string& scriptPath,
                                    CommandForm form = CommandForm::Standard, const std::string& drawingPath = {});
    // When a session of this many drawings is over time; never earlier than the time-out per drawing allows,
    // however large the inputs.
    static std::chrono::steady_clock::time_point sessionDeadline(std::chrono::steady_clock::time_point started,
                                                                 std::chrono::milliseconds perDrawing,
                                                                 std::size_t drawings);

private:
    struct Batch;

    void runSessions(std::size_t session);
    bool takeBatch(Batch& batch);
    void runBatch(std::size_t session, Batch& batch);
    void followMarks(Batch& batch, std::int64_t nowMs);
    void settleBatch(Batch& batch, const process::ProcessTree& tree, bool timedOut, std::int64_t endedMs);
    void recoverMarks();
    bool filesInTheWay(std::size_t sessions);
    void broke(std::string error);
    bool stopping() const;
    // These take the lock.
    Result<void> settle(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries, bool sync = true);
    void settleRest(std::span<const std::size_t> indices, State state, std::int64_t whenMs);

    JournalWriter& m_journal;
    JournalContent& m_content;
    Setup m_setup;
    std::size_t m_batchSize = 1;
    CommandForm m_form = CommandForm::Standard;
    bool m_marks = false;
    // Guards the journal, the content, the queue, the outcome and the observer.
    std::mutex m_lock;
    std::deque<std::size_t> m_queue;
    RunOutcome m_outcome;
    std::chrono::steady_clock::time_point m_lastSync;
    bool m_unsynced = false;
};

} // namespace supervise
