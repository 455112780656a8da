#include "supervise/engine.h"

#include "os/pathtext.h"
#include "os/processtree.h"
#include "runs/cadlookup.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "supervise/marks.h"
#include "supervise/runfiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace supervise {

RunEngine::RunEngine(JournalWriter& journal, JournalContent& content, Setup setup)
    : m_journal(journal), m_content(content), m_setup(std::move(setup))
{
}

std::string RunEngine::commandLine(const script::RunRequest& request, const std::string& scriptPath)
{
    return cad::cadCommandLineWithStartDrawing(request.cad.path, request.cad.startDrawing, request.cad.parameters,
                                               scriptPath);
}

process::Command RunEngine::command(const script::RunRequest& request, const std::string& scriptPath, CommandForm form,
                                    const std::string& drawingPath)
{
    // The same words as the plain run's command line, but paths are never taken apart again: whatever
    // quotes, backslashes or dollars they hold reach the program as they are.
    if (form == CommandForm::Console)
        return {{request.cad.path}, {"/i", true}, {drawingPath},
                {"/s", true},       {scriptPath}, {request.cad.parameters, true}};
    return {{request.cad.path}, {request.cad.startDrawing}, {request.cad.parameters, true}, {"/b", true}, {scriptPath}};
}

std::chrono::steady_clock::time_point RunEngine::sessionDeadline(std::chrono::steady_clock::time_point started,
                                                                 std::chrono::milliseconds perDrawing,
                                                                 std::size_t drawings)
{
    // Far beyond any session, and far from the clock's end: the product of large inputs stays a deadline
    // in the future instead of wrapping into the past.
    using namespace std::chrono;
    constexpr milliseconds longest = duration_cast<milliseconds>(hours(24 * 365 * 100));
    const auto count = static_cast<std::uint64_t>(std::max<milliseconds::rep>(perDrawing.count(), 0));
    const auto total = drawings != 0 && count > static_cast<std::uint64_t>(longest.count()) / drawings
                           ? longest
                           : milliseconds(static_cast<milliseconds::rep>(count * drawings));
    return started + total;
}

namespace {

using namespace std::chrono;

// How often a session with marks looks at its marks file.
constexpr milliseconds markPoll(100);
// Results that marks give are forced to the disk at most this often; the marks file holds them meanwhile.
constexpr milliseconds syncInterval(1000);

// The journal keeps its texts in the encoding of the system's names (the ANSI code page on Windows).
std::string withCause(const std::string& status, std::string_view cause)
{
    return cause.empty() ? status : status + ": " + systemText(cause);
}

} // namespace

// The drawings a session works on, its files, and what their marks said.
struct RunEngine::Batch
{
    std::size_t session = 1;
    std::vector<std::size_t> indices;
    std::vector<std::string> names;
    std::vector<FileStamp> before;
    std::vector<Seen> seen;
    std::vector<std::int64_t> beganMs; // when its first mark was seen
    bool marks = false;                // its marks are believed: false too once its marks file was refused
    bool marked = false;               // a mark of it has come: the session has started on its drawings
    std::string refusal;               // why its marks file was refused, for the drawings' exit status
    std::string scriptPath, marksPath, drawingPath, outputPath, processMark;
    std::unique_ptr<MarksReader> reader;
    steady_clock::time_point started, lastMark;
    std::int64_t startedMs = 0;
};

bool RunEngine::stopping() const
{
    return m_outcome.end != RunOutcome::End::Completed || (m_setup.interrupt && m_setup.interrupt->raised());
}

void RunEngine::broke(std::string error)
{
    const std::lock_guard lock(m_lock);
    if (m_outcome.end == RunOutcome::End::Completed)
        m_outcome = {RunOutcome::End::Broken, std::move(error)};
}

void RunEngine::journalBroke(const std::string& error)
{
    m_journalFailed = true;
    broke("journalen kan inte skrivas: " + error);
}

Result<void> RunEngine::record(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries, bool sync)
{
    if (indices.empty())
        return {};
    {
        const std::lock_guard lock(m_lock);
        const auto now = m_setup.clock.now();
        sync = sync || now - m_lastSync >= syncInterval;
        if (sync)
            m_lastSync = now;
    }
    Result<void> written;
    {
        const std::lock_guard lock(m_journalLock);
        written = m_journal.settled(indices, entries, false);
    }
    if (!written)
        return written;
    {
        const std::lock_guard lock(m_lock);
        ++m_appended;
    }
    // What is not on the disk did not happen: a resume would go by the disk, and so does everyone here.
    if (sync) {
        if (auto synced = syncJournal(); !synced)
            return synced;
    }
    {
        const std::lock_guard lock(m_lock);
        for (std::size_t i = 0; i < indices.size(); ++i)
            m_content.drawings[indices[i]] = entries[i];
    }
    if (m_setup.observer)
        m_setup.observer->settled(indices, entries);
    return {};
}

Result<void> RunEngine::syncJournal()
{
    std::uint64_t covered = 0;
    {
        const std::lock_guard lock(m_lock);
        covered = m_appended;
    }
    // Outside every lock: one session's wait for the disk never holds up another's work, and a sync covers
    // whatever any session wrote before it began.
    auto synced = m_journal.flush();
    if (synced) {
        const std::lock_guard lock(m_lock);
        m_synced = std::max(m_synced, covered);
    }
    return synced;
}

void RunEngine::settleRest(std::span<const std::size_t> indices, State state, std::int64_t whenMs)
{
    std::vector<DrawingEntry> entries;
    {
        const std::lock_guard lock(m_lock);
        for (const std::size_t index : indices) {
            DrawingEntry entry = m_content.drawings[index];
            entry.state = state;
            entry.changed = false;
            entry.startedMs = entry.endedMs = whenMs;
            entry.exitStatus.clear();
            entries.push_back(std::move(entry));
        }
    }
    // Should this fail the drawings keep their earlier state, which a resume takes up as well.
    if (auto written = record(indices, entries); !written)
        journalBroke(written.error());
}

void RunEngine::recoverMarks()
{
    // A run that died in the middle of batches with marks: what their marks files say is done stays done.
    for (const OpenBatch& batch : m_content.openBatches) {
        if (!batch.info.marks)
            continue;
        MarksReader reader(sessionMarksPath(m_setup.journalPath, batch.info.session));
        std::vector<std::size_t> done;
        std::vector<DrawingEntry> entries;
        const std::int64_t now = m_setup.clock.wallMs();
        const std::vector<Mark> marks = reader.pollAll();
        if (!reader.refused().empty() && m_setup.observer)
            m_setup.observer->marksRefused(batch.info.session, "utan ritningsmärken: " + reader.refused());
        for (const Mark& mark : marks) {
            if (mark.kind != script::MarkKind::End ||
                std::find(batch.indices.begin(), batch.indices.end(), mark.index) == batch.indices.end() ||
                std::find(done.begin(), done.end(), mark.index) != done.end())
                continue;
            DrawingEntry entry = m_content.drawings[mark.index];
            entry.state = State::Done;
            entry.startedMs = entry.endedMs = now;
            entry.exitStatus = systemText(endMarkCause);
            done.push_back(mark.index);
            entries.push_back(std::move(entry));
        }
        if (auto written = record(done, entries); !written)
            journalBroke(written.error());
    }
    m_content.openBatches.clear();
}

RunOutcome RunEngine::run(std::span<const std::size_t> indices)
{
    const script::RunRequest& request = m_content.request;
    m_plan.program = request.cad.path;
    m_plan.form = formFor(m_setup.policy, request.cad.path);
    m_plan.batchSize = batchSizeFor(m_setup.policy, m_plan.form);
    m_plan.timeout = m_setup.policy.timeout;
    m_plan.marks = m_setup.policy.marks == MarksChoice::On;
    m_outcome = {};
    m_journalFailed = false;
    m_appended = m_synced = 0;
    m_lastSync = m_setup.clock.now();

    // A run killed in the middle of a session may have left processes working on its drawings.
    process::endSessions(m_content.openSessions);
    m_content.openSessions.clear();
    recoverMarks();

    m_queue.clear();
    for (const std::size_t index : indices) {
        if (m_content.drawings[index].state != State::Done)
            m_queue.push_back(index);
    }
    m_plan.sessions = sessionsFor(m_setup.policy, m_plan.form, m_queue.size());

    // Made here, before any session runs, so no two threads ever touch the same format.
    const std::vector<script::DateTimeFormat> formats(m_plan.sessions, m_setup.format);
    std::vector<std::thread> others;
    for (std::size_t session = 2; session <= m_plan.sessions; ++session)
        others.emplace_back([this, session, &formats] { runSessions(session, formats[session - 1]); });
    runSessions(1, formats.front());
    for (std::thread& other : others)
        other.join();

    const std::vector<std::size_t> rest(m_queue.begin(), m_queue.end());
    m_queue.clear();
    if (!rest.empty()) {
        if (m_outcome.end == RunOutcome::End::Completed)
            m_outcome.end = RunOutcome::End::Stopped;
        settleRest(rest, State::NotRun, m_setup.clock.wallMs());
    } else if (m_outcome.end == RunOutcome::End::Completed && m_setup.interrupt && m_setup.interrupt->raised()) {
        m_outcome.end = RunOutcome::End::Stopped;
    }
    if (m_synced < m_appended) {
        if (auto flushed = syncJournal(); !flushed)
            journalBroke(flushed.error());
    }
    // Every batch has its results in the journal: the marks have served, also those of sessions an earlier run
    // over the journal had and this one did not; so have the scripts of those sessions, while this run's stay
    // beside the journal. After a failed write, also in a run that was stopped, the marks may still be all that
    // tells what was done.
    if (m_outcome.end != RunOutcome::End::Broken && !m_journalFailed) {
        const std::size_t sessions = std::max(m_plan.sessions, m_content.sessionsUsed);
        for (std::size_t session = 1; session <= sessions; ++session) {
            std::remove(sessionMarksPath(m_setup.journalPath, session).c_str());
            if (session > m_plan.sessions)
                std::remove(sessionScriptPath(m_setup.journalPath, session).c_str());
        }
    }
    return m_outcome;
}

void RunEngine::runSessions(std::size_t session, const script::DateTimeFormat& format)
{
    Batch batch;
    while (takeBatch(batch)) {
        batch.session = session;
        runBatch(batch, format);
    }
}

bool RunEngine::takeBatch(Batch& batch)
{
    const script::RunRequest& request = m_content.request;
    while (true) {
        std::vector<std::size_t> taken;
        {
            const std::lock_guard lock(m_lock);
            if (stopping() || m_queue.empty())
                return false;
            while (!m_queue.empty() && taken.size() < m_plan.batchSize) {
                taken.push_back(m_queue.front());
                m_queue.pop_front();
            }
        }
        // A drawing that is gone is left out of the script rather than failing the whole session. Its name is
        // the drawing's own while it is out of the queue: nobody else writes it.
        batch = Batch();
        std::vector<std::size_t> absent;
        for (const std::size_t index : taken) {
            const std::string& name = m_content.drawings[index].name;
            const FileStamp stamp = stampOf(script::joinPath(request.listingFolder, name, request.separator));
            if (stamp.exists) {
                batch.indices.push_back(index);
                batch.names.push_back(name);
                batch.before.push_back(stamp);
            } else {
                absent.push_back(index);
            }
        }
        settleRest(absent, State::Missing, m_setup.clock.wallMs());
        if (!batch.indices.empty()) {
            batch.seen.assign(batch.indices.size(), Seen::Nothing);
            batch.beganMs.assign(batch.indices.size(), 0);
            return true;
        }
    }
}

void RunEngine::runBatch(Batch& batch, const script::DateTimeFormat& format)
{
    if (auto written = writeScripts(batch, format); !written) {
        broke(written.error());
        settleRest(batch.indices, State::NotRun, m_setup.clock.wallMs());
        return;
    }
    if (!beginBatch(batch)) {
        settleRest(batch.indices, State::NotRun, m_setup.clock.wallMs());
        return;
    }
    if (std::unique_ptr<Session> session = startSession(batch)) {
        const bool timedOut = watch(batch, *session);
        settle(batch, *session, timedOut);
    }
    if (m_setup.observer)
        m_setup.observer->sessionEnded(batch.session);
}

Result<void> RunEngine::writeScripts(Batch& batch, const script::DateTimeFormat& format)
{
    const script::RunRequest& request = m_content.request;
    const bool console = m_plan.form == CommandForm::Console;
    batch.scriptPath = sessionScriptPath(m_setup.journalPath, batch.session);
    batch.marksPath = sessionMarksPath(m_setup.journalPath, batch.session);
    batch.marks = m_plan.marks && script::markablePath(batch.marksPath);

    const script::DrawingMarks drawingMarks{script::markPathText(batch.marksPath), batch.indices};
    script::Script script;
    if (script::expandTemplate(request, batch.names, format, script, batch.marks ? &drawingMarks : nullptr))
        return Result<void>::failure("ett namn innehåller en radbrytning");
    if (const auto written = script::replaceFile(batch.scriptPath, script.bytes()); !written)
        return Result<void>::failure("scriptet " + batch.scriptPath + " kan inte skrivas: " + written.error());
    if (batch.marks) {
        // The session's own, empty file: only what its program writes there from now on is believed.
        const auto made = makeOwnFile(batch.marksPath);
        if (!made)
            return Result<void>::failure(systemText("märkesfilen ") + batch.marksPath +
                                         " kan inte skrivas: " + made.error());
        batch.reader = std::make_unique<MarksReader>(batch.marksPath, *made);
    }
    if (console) {
        batch.drawingPath = script::joinPath(request.listingFolder, batch.names.front(), request.separator);
        if (const auto made = makeFolder(consoleLogFolder(m_setup.journalPath)); !made)
            return Result<void>::failure("mappen " + consoleLogFolder(m_setup.journalPath) +
                                         " kan inte skapas: " + made.error());
        batch.outputPath = consoleLogPath(m_setup.journalPath, batch.indices.front());
    }
    return {};
}

bool RunEngine::beginBatch(Batch& batch)
{
    batch.processMark = process::newSessionMark();
    Result<void> started;
    {
        const std::lock_guard lock(m_journalLock);
        started = m_journal.batchStarted(m_setup.clock.wallMs(), batch.indices,
                                         {batch.session, batch.processMark, batch.marks});
    }
    if (!started) {
        journalBroke(started.error());
        return false;
    }
    {
        const std::lock_guard lock(m_lock);
        for (const std::size_t index : batch.indices)
            m_content.drawings[index].state = State::Interrupted;
    }
    if (m_setup.observer)
        m_setup.observer->batchStarted(batch.session, batch.indices);
    return true;
}

std::unique_ptr<Session> RunEngine::startSession(Batch& batch)
{
    batch.startedMs = m_setup.clock.wallMs();
    batch.started = batch.lastMark = m_setup.clock.now();
    auto started = m_setup.start({command(m_content.request, batch.scriptPath, m_plan.form, batch.drawingPath),
                                  batch.processMark, batch.outputPath, batch.session});
    if (started)
        return std::move(*started);
    std::vector<DrawingEntry> entries;
    for (std::size_t i = 0; i < batch.indices.size(); ++i) {
        DrawingEntry& entry = entries.emplace_back();
        entry.name = batch.names[i];
        entry.state = State::Failed;
        entry.startedMs = entry.endedMs = batch.startedMs;
        entry.exitStatus = "kunde inte startas: " + started.error();
    }
    (void)record(batch.indices, entries);
    broke("CAD-programmet " + m_plan.program + " kan inte startas: " + started.error());
    return nullptr;
}

bool RunEngine::watch(Batch& batch, Session& session)
{
    const RunClock& clock = m_setup.clock;
    // With marks the time-out runs from the last mark once the first has come. Until then the session is
    // starting, slowly perhaps, or in a program that carries out no marks: it has the time-out of every drawing
    // of its batch, as without marks, so that marks never cut short a session that would finish without them.
    const auto deadline = [&] {
        return batch.marks && batch.marked ? sessionDeadline(batch.lastMark, m_plan.timeout, 1)
                                           : sessionDeadline(batch.started, m_plan.timeout, batch.indices.size());
    };
    bool timedOut = false;
    while (true) {
        // Woken now and then to read the marks, and to stop once the journal cannot be written: the session's
        // results could not be kept, and its drawings are run again when the run is taken up.
        const auto until = std::min(deadline(), clock.now() + markPoll);
        const auto wait = session.wait(until, m_setup.interrupt);
        if (batch.marks)
            followMarks(batch);
        if (wait == process::ProcessTree::Wait::Ended)
            break;
        if (wait == process::ProcessTree::Wait::Interrupted || m_journalFailed) {
            session.kill();
            break;
        }
        if (clock.now() >= deadline()) {
            session.kill();
            timedOut = true;
            break;
        }
    }
    if (batch.marks)
        followMarks(batch); // what it wrote just before it ended
    return timedOut;
}

void RunEngine::followMarks(Batch& batch)
{
    const script::RunRequest& request = m_content.request;
    const std::int64_t nowMs = m_setup.clock.wallMs();
    const std::vector<Mark> marks = batch.reader->pollAll();
    if (!batch.reader->refused().empty()) {
        // Not the session's own file: the batch is judged as one without marks, its ended drawings kept.
        batch.marks = false;
        batch.refusal = "utan ritningsmärken: " + batch.reader->refused();
        if (m_setup.observer)
            m_setup.observer->marksRefused(batch.session, batch.refusal);
    }
    for (const Mark& mark : marks) {
        const auto found = std::find(batch.indices.begin(), batch.indices.end(), mark.index);
        if (found == batch.indices.end())
            continue; // not a drawing of this batch
        const auto position = static_cast<std::size_t>(found - batch.indices.begin());
        const MarkStep step = afterMark(batch.seen[position], mark.kind);
        batch.seen[position] = step.seen;
        if (!step.news)
            continue;
        batch.marked = true;
        batch.lastMark = m_setup.clock.now();
        if (batch.beganMs[position] == 0)
            batch.beganMs[position] = nowMs;
        if (step.seen != Seen::Ended) {
            if (m_setup.observer)
                m_setup.observer->drawingBegan(batch.session, mark.index, nowMs);
            continue;
        }
        DrawingEntry entry;
        entry.name = batch.names[position];
        entry.state = State::Done;
        entry.changed =
            stampOf(script::joinPath(request.listingFolder, entry.name, request.separator)) != batch.before[position];
        entry.startedMs = batch.beganMs[position];
        entry.endedMs = nowMs;
        entry.exitStatus = systemText(endMarkCause);
        if (auto written = record(std::span(&mark.index, 1), std::span(&entry, 1), false); !written)
            journalBroke(written.error());
    }
}

void RunEngine::settle(Batch& batch, const Session& session, bool timedOut)
{
    const script::RunRequest& request = m_content.request;
    const std::int64_t endedMs = m_setup.clock.wallMs();
    const SessionEnding end{session.ending(), timedOut, batch.marks};
    const std::string status = process::describe(end.ending);
    const std::vector<Verdict> verdicts = batchVerdicts(end, batch.seen);
    std::vector<std::size_t> indices, requeued;
    std::vector<DrawingEntry> entries, pending;
    for (std::size_t i = 0; i < batch.indices.size(); ++i) {
        const Verdict& verdict = verdicts[i];
        if (verdict.action == Verdict::Action::Keep)
            continue;
        DrawingEntry entry;
        entry.name = batch.names[i];
        entry.changed =
            stampOf(script::joinPath(request.listingFolder, entry.name, request.separator)) != batch.before[i];
        entry.state = verdict.state;
        if (verdict.action == Verdict::Action::Requeue) {
            requeued.push_back(batch.indices[i]);
            pending.push_back(std::move(entry));
            continue;
        }
        entry.startedMs = batch.seen[i] == Seen::Nothing ? batch.startedMs : batch.beganMs[i];
        entry.endedMs = endedMs;
        entry.exitStatus = withCause(status, verdict.cause.empty() ? std::string_view(batch.refusal) : verdict.cause);
        indices.push_back(batch.indices[i]);
        entries.push_back(std::move(entry));
    }
    if (stoppedByInterrupt(end)) {
        const std::lock_guard lock(m_lock);
        if (m_outcome.end == RunOutcome::End::Completed)
            m_outcome.end = RunOutcome::End::Stopped;
    }
    indices.insert(indices.end(), requeued.begin(), requeued.end());
    entries.insert(entries.end(), pending.begin(), pending.end());
    if (auto written = record(indices, entries); !written) {
        journalBroke(written.error());
        return;
    }
    if (requeued.empty())
        return;
    // Told before they are in the queue, so no observer hears of a drawing's next batch before this.
    if (m_setup.observer)
        m_setup.observer->requeued(requeued);
    const std::lock_guard lock(m_lock);
    m_queue.insert(m_queue.begin(), requeued.begin(), requeued.end());
}

bool RunEngine::recordEnd(RunOutcome& outcome)
{
    const std::string_view how = outcome.end == RunOutcome::End::Completed ? "klar"
                                 : outcome.end == RunOutcome::End::Stopped ? "avbruten"
                                                                           : "avbruten av fel";
    const auto written = m_journal.finished(m_setup.clock.wallMs(), how);
    if (written)
        return true;
    if (outcome.end == RunOutcome::End::Completed)
        outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + written.error()};
    return false;
}

} // namespace supervise
