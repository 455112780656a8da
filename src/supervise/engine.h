#pragma once

#include "os/process.h"
#include "script/expandtemplate.h"
#include "supervise/journal.h"
#include "supervise/outcome.h"
#include "supervise/runpolicy.h"
#include "supervise/session.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace supervise {

// Hears how a run goes. Calls come from the threads of the sessions (and the one that called run()), after
// the engine has let go of its lock: with more than one session they can come at the same time, so an observer
// guards its own state. What they are given is theirs to read while the call lasts, never the engine's state.
// The calls about one session come in order from its thread; a drawing given back to the queue is told
// (settled as pending, then requeued) before any session can take it again; settled comes once the result is
// in the journal.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // Session number session (from 1) is about to start the CAD program on these drawings.
    virtual void batchStarted(std::size_t session, std::span<const std::size_t> indices) = 0;
    // These drawings have their final state, or pending when they go back to the queue (entries in the same order).
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
    // The marks file of the session's batch is not its own (why: "utan ritningsmärken: märkesfilen är en länk",
    // UTF-8): the batch is judged as one without marks. Also for the marks file of a batch a killed run left.
    virtual void marksRefused(std::size_t session, std::string_view why) { (void)session, (void)why; }
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
// marks each drawing is accounted for by its own marks, the time-out counts from the last mark (until the first,
// the session has the time of its whole batch), and drawings a broken session never opened go back to the
// queue; a marks file that is not the session's own is refused and its batch judged as one without marks. The
// caller's content follows the journal; while run() lasts it is the engine's, written from the sessions' threads,
// and nobody else reads it.
class RunEngine final
{
public:
    struct Setup
    {
        // For %date and %time, read for each line. Each session calls a copy of its own, made before the sessions
        // start: the functions must bear calls on separate copies from several threads at once (a QLocale's
        // copies and the C library's strftime do).
        script::DateTimeFormat format;
        std::string journalPath;                       // the sessions' scripts and marks files lie beside it
        const process::Interrupt* interrupt = nullptr; // raised to stop the run
        RunObserver* observer = nullptr;
        // Drawing marks only when its choice is On: the caller has resolved Auto (resolvedPolicy).
        RunPolicy policy;
        // How sessions start and time is read: the system's processes and clocks unless a test stands in.
        SessionStarter start = startProcessTree;
        RunClock clock = systemClock();
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
    // What a run reads once of its request and setup, so the rest of the engine never asks them again.
    struct Plan
    {
        std::string program;
        std::size_t batchSize = 1;
        std::chrono::milliseconds timeout{};
        std::size_t sessions = 1;
        bool marks = false;
        CommandForm form = CommandForm::Standard;
    };

    void runSessions(std::size_t session, const script::DateTimeFormat& format);
    bool takeBatch(Batch& batch);
    void runBatch(Batch& batch, const script::DateTimeFormat& format);
    // The steps of a batch, in order.
    Result<void> writeScripts(Batch& batch, const script::DateTimeFormat& format);
    bool beginBatch(Batch& batch);
    std::unique_ptr<Session> startSession(Batch& batch);
    bool watch(Batch& batch, Session& session);
    void settle(Batch& batch, const Session& session, bool timedOut);

    void followMarks(Batch& batch);
    void recoverMarks();
    void broke(std::string error);
    // The journal cannot be written: the run breaks, and its sessions stop at their next look.
    void journalBroke(const std::string& error);
    bool stopping() const;
    // Writes the drawings' states to the journal (on the disk before this returns with sync, or when the last sync
    // is a while ago), then to the content and the observer.
    Result<void> record(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries, bool sync = true);
    Result<void> syncJournal();
    void settleRest(std::span<const std::size_t> indices, State state, std::int64_t whenMs);

    JournalWriter& m_journal;
    JournalContent& m_content;
    Setup m_setup;
    Plan m_plan;
    // Guards the content's drawings, the queue, the outcome and the journal's sync bookkeeping; nothing is
    // written, synced or called while it is held.
    std::mutex m_lock;
    std::deque<std::size_t> m_queue;
    RunOutcome m_outcome;
    std::chrono::steady_clock::time_point m_lastSync;
    std::uint64_t m_appended = 0; // records written to the journal
    std::uint64_t m_synced = 0;   // of them, the ones a sync has forced to the disk
    std::atomic<bool> m_journalFailed = false;
    // Keeps the sessions' records from interleaving in the journal file: held for a write, never for a sync,
    // never together with m_lock.
    std::mutex m_journalLock;
};

} // namespace supervise
