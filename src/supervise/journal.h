#pragma once

#include "os/result.h"
#include "script/runrequest.h"
#include "supervise/runpolicy.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace supervise {

class JournalFile;

// What became of one drawing of a supervised run.
enum class State
{
    Pending,     // not started yet
    Done,        // the CAD program ended normally after the script
    Failed,      // it ended with another status, crashed or could not be started
    TimedOut,    // it did not end in time and was killed
    Missing,     // the drawing was gone when its batch was due, and was left out
    Interrupted, // its batch was cut short: a stop, or a crash of ours or of the machine
    NotRun,      // the run was stopped before its batch
};

std::string_view stateName(State state);
std::optional<State> stateFromName(std::string_view name);

struct DrawingEntry
{
    std::string name;
    State state = State::Pending;
    bool changed = false;       // the file's modification time moved during its batch
    std::int64_t startedMs = 0; // wall clock of its batch, 0 when it never ran
    std::int64_t endedMs = 0;   // 0 while its batch has no result (a run that died in it)
    std::string exitStatus;     // "0", "1", "signal 9", ... or why the program could not start
    // Read back only: the session of the last batch that had it (from 1), 0 when none did.
    std::size_t session = 0;
};

// What a batch was begun with: its session (from 1), the mark on its processes (process::newSessionMark), and
// whether its script carries drawing marks (into the session's marks file, sessionMarksPath).
struct BatchInfo
{
    std::size_t session = 1;
    std::string processMark;
    bool marks = false;
};

struct OpenBatch
{
    BatchInfo info;
    std::vector<std::size_t> indices; // the drawings still without a result
};

// A part of a job split over machines (--shard K/N): its number, the count of parts, and the machine it runs on.
struct ShardRecord
{
    std::size_t index = 0;
    std::size_t count = 1;
    std::string host;
    friend bool operator==(const ShardRecord&, const ShardRecord&) = default;
};

// A journal as read back.
struct JournalContent
{
    // What the run was started with; a resumed run goes on with the same. Its drawings are in drawings, each
    // with its state; request.drawings stays empty.
    script::RunRequest request;
    // How it runs: as it began, or as the last run over it went on (its marks and form as they were resolved).
    RunPolicy policy;
    std::string jobPath; // the job file the run was made from; empty for none
    // The part of the job it runs, with the machine the run went on on last; none when the job was not split.
    std::optional<ShardRecord> shard;
    std::vector<DrawingEntry> drawings;
    bool finished = false; // the last run over it came to an end (completed, stopped or declined)
    bool usable = false;   // the inputs and the drawings were read
    // Lines that were not sound records: a torn last line after a crash, or damage anywhere.
    std::vector<std::string> problems;
    bool damaged = false;        // a problem other than a torn last line
    std::uint64_t soundSize = 0; // bytes up to the end of the last whole record
    // Empty, or its drawing list never ended: the run that made it died before it began, so nothing ran and
    // the same command may start it afresh.
    bool unfinished = false;
    std::size_t damagedLines = 0; // problems holds only the first few of them
    // Marks of sessions that began and have no result: what is left of them is ended before a resume runs.
    std::vector<std::string> openSessions;
    // Batches that began and whose drawings do not all have a result (a run that died in the middle of them).
    std::vector<OpenBatch> openBatches;
    // The highest session number any batch of the run was given (0: none began): the files of those sessions
    // are the run's own.
    std::size_t sessionsUsed = 0;
    std::int64_t finishedMs = 0; // when the last run over it came to an end; 0 when none did
};

// The script file of a run: beside its journal, so runs never write each other's script.
std::string scriptPathFor(const std::string& journalPath);

JournalContent parseJournal(std::string_view bytes);
// Reads the journal at path, or gives why it cannot be read at all.
Result<JournalContent> readJournal(const std::string& path);

// Drawings whose state is one of states, in list order.
std::vector<std::size_t> drawingsIn(const JournalContent& content, std::initializer_list<State> states);
// --resume: pending, interrupted, not-run. --retry: failed, timed-out, interrupted.
std::vector<std::size_t> drawingsToResume(const JournalContent& content);
std::vector<std::size_t> drawingsToRetry(const JournalContent& content);

class JournalWriter;

// Why a journal could not be made or opened.
struct JournalProblem
{
    enum class Kind
    {
        Busy,       // another process holds the journal
        Exists,     // create: there is a file at the path already
        Damaged,    // open: the journal is not sound
        Unfinished, // open: its creation never finished (see JournalContent::unfinished)
        Failed,     // the file could not be made, read or written
    } kind;
    std::string message;               // what the system said, or the journal's first problem
    std::vector<std::string> problems; // Damaged, Unfinished: the journal's problems (JournalContent::problems)
};

// A journal opened for more runs over it, and what it holds.
struct OpenedJournal
{
    std::unique_ptr<JournalWriter> writer;
    JournalContent content;
};

// Writes the records of runs to one journal, which it holds locked.
class JournalWriter final
{
public:
    // A new journal with the run's request, policy and drawings (and the job it comes from, when given), on the
    // disk when this returns. It appears whole or not at all; an unfinished one at the path (a run killed while
    // making it) is replaced.
    static Result<std::unique_ptr<JournalWriter>, JournalProblem>
    create(const std::string& path, const script::RunRequest& request, const RunPolicy& policy,
           const std::string& jobPath = {}, const std::optional<ShardRecord>& shard = {});
    // An existing journal and what it holds; a record torn by a crash is cut off before anything is added.
    static Result<OpenedJournal, JournalProblem> open(const std::string& path);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // The drawings of a batch are about to be worked on by a session. Not forced to the disk: a crash before
    // their results leaves them interrupted or, after a crash of the machine, pending; either is run again.
    Result<void> batchStarted(std::int64_t whenMs, std::span<const std::size_t> indices, const BatchInfo& info = {});
    // States of drawings: final ones, or pending for a drawing given back to the queue. With sync they are on
    // the disk when this returns.
    Result<void> settled(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries, bool sync = true);
    // A run taken up goes on with another policy: later runs over the journal go on with this one.
    Result<void> policyChanged(const RunPolicy& policy);
    // The run of a part of a job goes on on another machine: its batches from here on ran there.
    Result<void> shardMoved(const ShardRecord& shard);
    // Forces what was written without sync to the disk.
    Result<void> flush();
    // The run came to an end (completed, stopped, or the offer to resume it was declined).
    Result<void> finished(std::int64_t whenMs, std::string_view how);

    const std::string& path() const { return m_path; }

private:
    JournalWriter(std::string path, std::unique_ptr<JournalFile> file);
    Result<void> appended(std::string_view bytes, bool sync);

    std::string m_path;
    std::unique_ptr<JournalFile> m_file;
};

} // namespace supervise
