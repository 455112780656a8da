#include "supervise/engine.h"

#include "os/processtree.h"
#include "runs/cadlookup.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "supervise/runfiles.h"

#include <algorithm>
#include <chrono>

namespace supervise {

RunEngine::RunEngine(JournalWriter& journal, JournalContent& content, Setup setup)
    : m_journal(journal), m_content(content), m_setup(std::move(setup))
{
}

std::string RunEngine::commandLine(const script::RunRequest& request, const std::string& scriptPath)
{
    return cad::cadCommandLineWithStartDrawing(request.program, request.startDrawing, request.parameters, scriptPath);
}

process::Command RunEngine::command(const script::RunRequest& request, const std::string& scriptPath)
{
    // The same words as the plain run's command line, but paths are never taken apart again: whatever
    // quotes, backslashes or dollars they hold reach the program as they are.
    return {{request.program}, {request.startDrawing}, {request.parameters, true}, {"/b", true}, {scriptPath}};
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

Result<void> RunEngine::settle(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries)
{
    if (indices.empty())
        return {};
    // What is not on the disk did not happen: a resume would go by the disk, and so does everyone here.
    if (auto written = m_journal.settled(indices, entries); !written)
        return written;
    for (std::size_t i = 0; i < indices.size(); ++i)
        m_content.drawings[indices[i]] = entries[i];
    if (m_setup.observer)
        m_setup.observer->settled(indices, entries);
    return {};
}

void RunEngine::settleRest(std::span<const std::size_t> indices, State state, std::int64_t whenMs)
{
    std::vector<DrawingEntry> entries;
    for (const std::size_t index : indices) {
        DrawingEntry entry = m_content.drawings[index];
        entry.state = state;
        entry.changed = false;
        entry.startedMs = entry.endedMs = whenMs;
        entry.exitStatus.clear();
        entries.push_back(std::move(entry));
    }
    // Should this fail too the drawings keep their earlier state, which a resume takes up as well.
    (void)settle(indices, entries);
}

RunOutcome RunEngine::run(std::span<const std::size_t> indices)
{
    const script::RunRequest& request = m_content.request;
    const std::size_t batchSize = std::max<std::size_t>(request.batchSize, 1);
    RunOutcome outcome;
    std::vector<std::size_t> present;
    std::vector<std::string> names;
    std::vector<FileStamp> before;
    std::vector<std::size_t> absent;
    std::vector<DrawingEntry> entries;

    // A run killed in the middle of a session may have left processes working on its drawings.
    process::endSessions(m_content.openSessions);
    m_content.openSessions.clear();

    for (std::size_t from = 0; from < indices.size(); from += batchSize) {
        const auto batch = indices.subspan(from, std::min(batchSize, indices.size() - from));
        if (m_setup.interrupt && m_setup.interrupt->raised()) {
            settleRest(indices.subspan(from), State::NotRun, wallClockMs());
            outcome.end = RunOutcome::End::Stopped;
            break;
        }

        // A drawing that is gone is left out of the script rather than failing the whole session.
        present.clear();
        names.clear();
        before.clear();
        absent.clear();
        for (const std::size_t index : batch) {
            const std::string& name = m_content.drawings[index].name;
            const FileStamp stamp = stampOf(script::joinPath(request.listingFolder, name, request.separator));
            if (stamp.exists) {
                present.push_back(index);
                names.push_back(name);
                before.push_back(stamp);
            } else {
                absent.push_back(index);
            }
        }
        if (!absent.empty())
            settleRest(absent, State::Missing, wallClockMs());
        if (present.empty())
            continue;

        script::Script script;
        const auto lineBreak = script::expandTemplate(request, names, m_setup.format, script);
        const std::string mark = process::newSessionMark();
        if (lineBreak) {
            outcome = {RunOutcome::End::Broken, "ett namn innehåller en radbrytning"};
        } else if (const script::WriteResult written = script::replaceFile(m_setup.scriptPath, script.bytes());
                   !written) {
            outcome = {RunOutcome::End::Broken,
                       "scriptet " + m_setup.scriptPath + " kan inte skrivas: " + written.error()};
        } else if (auto started = m_journal.batchStarted(wallClockMs(), present); !started) {
            outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + started.error()};
        } else if (auto marked = m_journal.sessionStarted(mark); !marked) {
            outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + marked.error()};
        }
        if (outcome.end == RunOutcome::End::Broken) {
            settleRest(indices.subspan(from), State::NotRun, wallClockMs());
            break;
        }
        for (const std::size_t index : present)
            m_content.drawings[index].state = State::Interrupted;
        if (m_setup.observer)
            m_setup.observer->batchStarted(present);

        const std::int64_t startedMs = wallClockMs();
        const auto started = std::chrono::steady_clock::now();
        std::string startError;
        auto tree = process::ProcessTree::start(command(request, m_setup.scriptPath), process::Show::Minimized, mark,
                                                startError);
        State state = State::Failed;
        std::string exitStatus;
        if (!tree) {
            exitStatus = "kunde inte startas: " + startError;
            outcome = {RunOutcome::End::Broken,
                       "CAD-programmet " + request.program + " kan inte startas: " + startError};
        } else {
            switch (tree->wait(sessionDeadline(started, request.timeout, present.size()), m_setup.interrupt)) {
            case process::ProcessTree::Wait::Ended:
                state = tree->ending().success() ? State::Done : State::Failed;
                break;
            case process::ProcessTree::Wait::TimedOut:
                tree->kill();
                state = State::TimedOut;
                break;
            case process::ProcessTree::Wait::Interrupted:
                tree->kill();
                state = State::Interrupted;
                outcome.end = RunOutcome::End::Stopped;
                break;
            }
            exitStatus = process::describe(tree->ending());
            tree.reset();
        }
        const std::int64_t endedMs = wallClockMs();

        entries.clear();
        for (std::size_t i = 0; i < present.size(); ++i) {
            DrawingEntry entry;
            entry.name = names[i];
            entry.state = state;
            entry.changed = stampOf(script::joinPath(request.listingFolder, names[i], request.separator)) != before[i];
            entry.startedMs = startedMs;
            entry.endedMs = endedMs;
            entry.exitStatus = exitStatus;
            entries.push_back(std::move(entry));
        }
        if (auto written = settle(present, entries); !written && outcome.end == RunOutcome::End::Completed)
            outcome = {RunOutcome::End::Broken, "journalen kan inte skrivas: " + written.error()};
        if (outcome.end != RunOutcome::End::Completed) {
            settleRest(indices.subspan(from + batch.size()), State::NotRun, endedMs);
            break;
        }
    }
    return outcome;
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
