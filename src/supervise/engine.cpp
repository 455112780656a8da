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
        return {{request.cad.path}, {"/i", true}, {drawingPath}, {"/s", true}, {scriptPath}, {request.cad.parameters, true}};
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

// Why a drawing of a session with marks has the state it has, after the session's ending.
constexpr std::string_view endMarked = "slutmärke";
constexpr std::string_view hungHere = "hängde i den här ritningen";
constexpr std::string_view endedHere = "CAD-programmet avslutades i den här ritningen";
constexpr std::string_view stoppedHere = "scriptet stannade i den här ritningen";
constexpr std::string_view stoppedBefore = "scriptet stannade före den här ritningen";

// The journal keeps its texts in the encoding of the system's names (the ANSI code page on Windows).
std::string withCause(const std::string& status, std::string_view cause)
{
    return status + ": " + systemText(cause);
}

} // namespace

// The drawings a session works on, and what their marks said.
struct RunEngine::Batch
{
    std::vector<std::size_t> indices;
    std::vector<std::string> names;
    std::vector<FileStamp> before;
    std::vector<std::int64_t> beganMs; // when its begin mark was seen; 0 for none
    std::vector<char> ended;           // its end mark was seen: it is done and settled
    bool marks = false;
    bool marked = false; // any mark was seen
    std::unique_ptr<MarksReader> reader;
    steady_clock::time_point lastMark;
    std::int64_t startedMs = 0;
    std::size_t session = 1;
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

Result<void> RunEngine::settle(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries, bool sync)
{
    if (indices.empty())
        return {};
    const std::lock_guard lock(m_lock);
    // What is not on the disk did not happen: a resume would go by the disk, and so does everyone here.
    const auto now = steady_clock::now();
    sync = sync || now - m_lastSync >= syncInterval;
    if (auto written = m_journal.settled(indices, entries, sync); !written)
        return written;
    if (sync) {
        m_lastSync = now;
        m_unsynced = false;
    } else {
        m_unsynced = true;
    }
    for (std::size_t i = 0; i < indices.size(); ++i)
        m_content.drawings[indices[i]] = entries[i];
    if (m_setup.observer)
        m_setup.observer->settled(indices, entries);
    return {};
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
    // Should this fail too the drawings keep their earlier state, which a resume takes up as well.
    (void)settle(indices, entries);
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
        const std::int64_t now = wallClockMs();
        for (const Mark& mark : reader.pollAll()) {
            if (mark.kind != script::MarkKind::End ||
                std::find(batch.indices.begin(), batch.indices.end(), mark.index) == batch.indices.end() ||
                std::find(done.begin(), done.end(), mark.index) != done.end())
                continue;
            DrawingEntry entry = m_content.drawings[mark.index];
            entry.state = State::Done;
            entry.startedMs = entry.endedMs = now;
            entry.exitStatus = systemText(endMarked);
            done.push_back(mark.index);
            entries.push_back(std::move(entry));
        }
        (void)settle(done, entries);
    }
    m_content.openBatches.clear();
}

bool RunEngine::filesInTheWay(std::size_t sessions)
{
    // The files of sessions the run never had are not its own: whatever stands there is left alone.
    for (std::size_t session = m_content.sessionsUsed + 1; session <= sessions; ++session) {
        for (const std::string& path :
             {sessionScriptPath(m_setup.journalPath, session), sessionMarksPath(m_setup.journalPath, session)}) {
            if (session == 1 && path == scriptPathFor(m_setup.journalPath))
                continue; // the run start has seen to it
            if (stampOf(path).exists) {
                broke(systemText("körningens fil ") + path +
                      systemText(" skulle ersätta en fil som redan finns; välj ett annat namn på journalen"));
                return true;
            }
        }
    }
    return false;
}

RunOutcome RunEngine::run(std::span<const std::size_t> indices)
{
    const script::RunRequest& request = m_content.request;
    m_outcome = {};
    m_lastSync = steady_clock::now();

    // A run killed in the middle of a session may have left processes working on its drawings.
    process::endSessions(m_content.openSessions);
    m_content.openSessions.clear();
    recoverMarks();

    m_queue.clear();
    for (const std::size_t index : indices) {
        if (m_content.drawings[index].state != State::Done)
            m_queue.push_back(index);
    }
    m_form = formFor(m_setup.policy, request.cad.path);
    m_marks = m_setup.policy.marks == MarksChoice::On;
    m_batchSize = batchSizeFor(m_setup.policy, m_form);
    const std::size_t sessions = sessionsFor(m_setup.policy, m_form, m_queue.size());
    if (filesInTheWay(sessions))
        return m_outcome;

    std::vector<std::thread> others;
    for (std::size_t session = 2; session <= sessions; ++session)
        others.emplace_back([this, session] { runSessions(session); });
    runSessions(1);
    for (std::thread& other : others)
        other.join();

    const std::vector<std::size_t> rest(m_queue.begin(), m_queue.end());
    m_queue.clear();
    if (!rest.empty()) {
        if (m_outcome.end == RunOutcome::End::Completed)
            m_outcome.end = RunOutcome::End::Stopped;
        settleRest(rest, State::NotRun, wallClockMs());
    } else if (m_outcome.end == RunOutcome::End::Completed && m_setup.interrupt && m_setup.interrupt->raised()) {
        m_outcome.end = RunOutcome::End::Stopped;
    }
    if (m_unsynced) {
        if (auto flushed = m_journal.flush(); !flushed && m_outcome.end == RunOutcome::End::Completed)
            m_outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + flushed.error()};
    }
    // Every batch has its results in the journal: the marks have served. After a failed write they may still
    // be all that tells what was done.
    if (m_marks && m_outcome.end != RunOutcome::End::Broken) {
        for (std::size_t session = 1; session <= sessions; ++session)
            std::remove(sessionMarksPath(m_setup.journalPath, session).c_str());
    }
    return m_outcome;
}

void RunEngine::runSessions(std::size_t session)
{
    Batch batch;
    while (takeBatch(batch)) {
        batch.session = session;
        runBatch(session, batch);
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
            while (!m_queue.empty() && taken.size() < m_batchSize) {
                taken.push_back(m_queue.front());
                m_queue.pop_front();
            }
        }
        // A drawing that is gone is left out of the script rather than failing the whole session.
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
        settleRest(absent, State::Missing, wallClockMs());
        if (!batch.indices.empty()) {
            batch.beganMs.assign(batch.indices.size(), 0);
            batch.ended.assign(batch.indices.size(), 0);
            return true;
        }
    }
}

void RunEngine::runBatch(std::size_t session, Batch& batch)
{
    const script::RunRequest& request = m_content.request;
    const std::string scriptPath = sessionScriptPath(m_setup.journalPath, session);
    const std::string marksPath = sessionMarksPath(m_setup.journalPath, session);
    const bool console = m_form == CommandForm::Console;
    batch.marks = m_marks && script::markablePath(marksPath);
    const auto giveUp = [&](std::string error) {
        broke(std::move(error));
        settleRest(batch.indices, State::NotRun, wallClockMs());
    };

    const script::DrawingMarks drawingMarks{script::markPathText(marksPath), batch.indices};
    script::Script script;
    std::optional<script::LineBreakFault> lineBreak;
    {
        // The date and time format may not be made for two threads at once.
        const std::lock_guard lock(m_lock);
        lineBreak =
            script::expandTemplate(request, batch.names, m_setup.format, script, batch.marks ? &drawingMarks : nullptr);
    }
    if (lineBreak)
        return giveUp("ett namn innehåller en radbrytning");
    if (const auto written = script::replaceFile(scriptPath, script.bytes()); !written)
        return giveUp("scriptet " + scriptPath + " kan inte skrivas: " + written.error());
    if (batch.marks) {
        if (const auto emptied = script::replaceFile(marksPath, {}); !emptied)
            return giveUp(systemText("märkesfilen ") + marksPath + " kan inte skrivas: " + emptied.error());
        batch.reader = std::make_unique<MarksReader>(marksPath);
    }
    const std::string drawingPath =
        console ? script::joinPath(request.listingFolder, batch.names.front(), request.separator) : std::string();
    std::string outputPath;
    if (console) {
        std::string error;
        if (!makeFolder(consoleLogFolder(m_setup.journalPath), error))
            return giveUp("mappen " + consoleLogFolder(m_setup.journalPath) + " kan inte skapas: " + error);
        outputPath = consoleLogPath(m_setup.journalPath, batch.indices.front());
    }

    const std::string processMark = process::newSessionMark();
    bool begun = false;
    {
        const std::lock_guard lock(m_lock);
        if (auto started = m_journal.batchStarted(wallClockMs(), batch.indices, {session, processMark, batch.marks});
            !started) {
            if (m_outcome.end == RunOutcome::End::Completed)
                m_outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + started.error()};
        } else {
            begun = true;
            for (const std::size_t index : batch.indices)
                m_content.drawings[index].state = State::Interrupted;
            if (m_setup.observer)
                m_setup.observer->batchStarted(session, batch.indices);
        }
    }
    if (!begun) {
        settleRest(batch.indices, State::NotRun, wallClockMs());
        return;
    }

    batch.startedMs = wallClockMs();
    const auto started = steady_clock::now();
    batch.lastMark = started;
    std::string startError;
    auto tree = process::ProcessTree::start(command(request, scriptPath, m_form, drawingPath),
                                            process::Show::Minimized, processMark, startError, outputPath);
    if (!tree) {
        std::vector<DrawingEntry> entries;
        for (std::size_t i = 0; i < batch.indices.size(); ++i) {
            DrawingEntry& entry = entries.emplace_back();
            entry.name = batch.names[i];
            entry.state = State::Failed;
            entry.startedMs = entry.endedMs = batch.startedMs;
            entry.exitStatus = "kunde inte startas: " + startError;
        }
        (void)settle(batch.indices, entries);
        broke("CAD-programmet " + request.cad.path + " kan inte startas: " + startError);
    } else {
        // With marks the time-out runs from the last mark; without, over the whole session.
        const auto deadline = [&] {
            return batch.marks ? sessionDeadline(batch.lastMark, m_setup.policy.timeout, 1)
                               : sessionDeadline(started, m_setup.policy.timeout, batch.indices.size());
        };
        bool timedOut = false;
        while (true) {
            const auto until = batch.marks ? std::min(deadline(), steady_clock::now() + markPoll) : deadline();
            const auto wait = tree->wait(until, m_setup.interrupt);
            if (batch.marks)
                followMarks(batch, wallClockMs());
            if (wait == process::ProcessTree::Wait::Ended)
                break;
            if (wait == process::ProcessTree::Wait::Interrupted) {
                tree->kill();
                break;
            }
            if (steady_clock::now() >= deadline()) {
                tree->kill();
                timedOut = true;
                break;
            }
        }
        if (batch.marks)
            followMarks(batch, wallClockMs()); // what it wrote just before it ended
        settleBatch(batch, *tree, timedOut, wallClockMs());
        tree.reset();
    }
    const std::lock_guard lock(m_lock);
    if (m_setup.observer)
        m_setup.observer->sessionEnded(session);
}

void RunEngine::followMarks(Batch& batch, std::int64_t nowMs)
{
    const script::RunRequest& request = m_content.request;
    for (const Mark& mark : batch.reader->pollAll()) {
        const auto found = std::find(batch.indices.begin(), batch.indices.end(), mark.index);
        if (found == batch.indices.end())
            continue; // not a drawing of this batch
        const auto position = static_cast<std::size_t>(found - batch.indices.begin());
        batch.marked = true;
        if (batch.ended[position])
            continue;
        batch.lastMark = steady_clock::now();
        if (batch.beganMs[position] == 0)
            batch.beganMs[position] = nowMs;
        if (mark.kind == script::MarkKind::Begin) {
            const std::lock_guard lock(m_lock);
            if (m_setup.observer)
                m_setup.observer->drawingBegan(batch.session, mark.index, nowMs);
            continue;
        }
        batch.ended[position] = 1;
        DrawingEntry entry;
        entry.name = batch.names[position];
        entry.state = State::Done;
        entry.changed =
            stampOf(script::joinPath(request.listingFolder, entry.name, request.separator)) != batch.before[position];
        entry.startedMs = batch.beganMs[position];
        entry.endedMs = nowMs;
        entry.exitStatus = systemText(endMarked);
        if (auto written = settle(std::span(&mark.index, 1), std::span(&entry, 1), false); !written)
            broke("journalen kan inte skrivas: " + written.error());
    }
}

void RunEngine::settleBatch(Batch& batch, const process::ProcessTree& tree, bool timedOut, std::int64_t endedMs)
{
    const script::RunRequest& request = m_content.request;
    const process::Ending& ending = tree.ending();
    const std::string status = process::describe(ending);
    const bool interrupted = ending.killed && !timedOut;
    // Without marks, or when none came (a program that does not carry them out), the session's ending is
    // every drawing's.
    const bool whole = !batch.marks || !batch.marked;
    std::vector<std::size_t> indices, requeued;
    std::vector<DrawingEntry> entries, pending;
    for (std::size_t i = 0; i < batch.indices.size(); ++i) {
        if (batch.ended[i])
            continue;
        const bool began = batch.beganMs[i] != 0;
        DrawingEntry entry;
        entry.name = batch.names[i];
        entry.changed =
            stampOf(script::joinPath(request.listingFolder, entry.name, request.separator)) != batch.before[i];
        entry.startedMs = began ? batch.beganMs[i] : batch.startedMs;
        entry.endedMs = endedMs;
        entry.exitStatus = status;
        if (interrupted) {
            entry.state = State::Interrupted;
        } else if (whole) {
            entry.state = timedOut ? State::TimedOut : ending.success() ? State::Done : State::Failed;
        } else if (ending.success()) {
            // A script line that fails stops the script: the program ended without getting to these.
            entry.state = State::Failed;
            entry.exitStatus = withCause(status, began ? stoppedHere : stoppedBefore);
        } else if (began) {
            entry.state = timedOut ? State::TimedOut : State::Failed;
            entry.exitStatus = withCause(status, timedOut ? hungHere : endedHere);
        } else {
            // Never opened in this session: the next one takes it.
            entry.state = State::Pending;
            entry.startedMs = entry.endedMs = 0;
            entry.exitStatus.clear();
            requeued.push_back(batch.indices[i]);
            pending.push_back(std::move(entry));
            continue;
        }
        indices.push_back(batch.indices[i]);
        entries.push_back(std::move(entry));
    }
    if (interrupted) {
        const std::lock_guard lock(m_lock);
        if (m_outcome.end == RunOutcome::End::Completed)
            m_outcome.end = RunOutcome::End::Stopped;
    }
    indices.insert(indices.end(), requeued.begin(), requeued.end());
    entries.insert(entries.end(), pending.begin(), pending.end());
    if (auto written = settle(indices, entries); !written) {
        broke("journalen kan inte skrivas: " + written.error());
        return;
    }
    if (requeued.empty())
        return;
    const std::lock_guard lock(m_lock);
    m_queue.insert(m_queue.begin(), requeued.begin(), requeued.end());
    if (m_setup.observer)
        m_setup.observer->requeued(requeued);
}

bool RunEngine::recordEnd(RunOutcome& outcome)
{
    const std::string_view how = outcome.end == RunOutcome::End::Completed ? "klar"
                                 : outcome.end == RunOutcome::End::Stopped ? "avbruten"
                                                                           : "avbruten av fel";
    const auto written = m_journal.finished(wallClockMs(), how);
    if (written)
        return true;
    if (outcome.end == RunOutcome::End::Completed)
        outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + written.error()};
    return false;
}

} // namespace supervise
