// The engine over stand-in sessions and a stand-in clock: real journal, scripts and marks files in a temporary
// folder, no process and no sleeping. Each stand-in session plays a part (marks at given times, an ending, a
// hang, a stop) on a clock that moves only when a session waits.
#include "os/pathtext.h"
#include "script/scripttemplate.h"
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/marks.h"
#include "supervise/runfiles.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>

namespace {

using namespace std::chrono;
using supervise::DrawingEntry;
using supervise::RunOutcome;
using supervise::State;
using Wait = process::ProcessTree::Wait;

constexpr std::int64_t wallBase = 1'700'000'000'000;
const process::Ending exitedWith0{true, 0, false};
const process::Ending crashed{false, 11, false};
const process::Ending killed{false, 9, true};

// An exit status as the journal keeps it: an ending as the system tells it ("signal 9" here stands for the
// kill, "signal 11" for the crash), the rest in the system's encoding (the ANSI code page on Windows).
std::string systemStatus(const std::string& status)
{
    for (const auto& [written, ending] :
         {std::pair{std::string("signal 11"), crashed}, std::pair{std::string("signal 9"), killed}}) {
        if (status.starts_with(written))
            return process::describe(ending) + systemText(status.substr(written.size()));
    }
    return systemText(status);
}

// In place of a mark line: the marks file is cut to nothing.
const std::string cutMarks = "<cut>";

// Time moves only when a stand-in session waits, and never back, whichever session moves it.
class FakeClock
{
public:
    supervise::RunClock clock()
    {
        return {[this] { return now(); }, [this] { return wallBase + m_ms.load(); }};
    }
    steady_clock::time_point now() const { return steady_clock::time_point(milliseconds(m_ms.load())); }
    void advanceTo(steady_clock::time_point when)
    {
        const std::int64_t ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
        std::int64_t seen = m_ms.load();
        while (seen < ms && !m_ms.compare_exchange_weak(seen, ms)) {
        }
    }

private:
    std::atomic<std::int64_t> m_ms{0};
};

// What one stand-in session does, in milliseconds after its start.
struct Part
{
    std::vector<std::pair<int, std::string>> marks;     // lines for the marks file
    std::optional<std::pair<int, process::Ending>> end; // none: it hangs
    std::optional<int> stopAt;                          // the run's stop is pressed
    std::string startError;                             // not empty: it cannot start
};

Part endsAt(int ms, process::Ending ending, std::vector<std::pair<int, std::string>> marks = {})
{
    return {std::move(marks), std::pair(ms, ending), std::nullopt, {}};
}

class FakeSession final : public supervise::Session
{
public:
    FakeSession(Part part, FakeClock& clock, std::string marksPath, process::Interrupt& stop)
        : m_clock(clock), m_marksPath(std::move(marksPath)), m_stop(stop)
    {
        const auto start = clock.now();
        for (auto& [at, line] : part.marks)
            m_events.push_back({start + milliseconds(at), Event::Mark, line, {}});
        if (part.stopAt)
            m_events.push_back({start + milliseconds(*part.stopAt), Event::Stop, {}, {}});
        if (part.end)
            m_events.push_back({start + milliseconds(part.end->first), Event::End, {}, part.end->second});
        std::stable_sort(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    }
    Wait wait(steady_clock::time_point deadline, const process::Interrupt* interrupt) override
    {
        while (!m_events.empty() && m_events.front().at <= deadline) {
            const Event event = m_events.front();
            m_events.pop_front();
            m_clock.advanceTo(event.at);
            if (event.kind == Event::Mark) {
                writeFile(m_marksPath, event.line == cutMarks ? "" : readFile(m_marksPath) + event.line + "\n");
            } else if (event.kind == Event::Stop) {
                m_stop.raise();
                if (interrupt)
                    return Wait::Interrupted;
            } else {
                m_ending = event.ending;
                return Wait::Ended;
            }
        }
        m_clock.advanceTo(deadline);
        return Wait::TimedOut;
    }
    void kill() override { m_ending = killed; }
    const process::Ending& ending() const override { return m_ending; }

private:
    struct Event
    {
        steady_clock::time_point at;
        enum Kind
        {
            Mark,
            Stop,
            End,
        } kind;
        std::string line;
        process::Ending ending;
    };
    FakeClock& m_clock;
    std::string m_marksPath;
    process::Interrupt& m_stop;
    std::deque<Event> m_events;
    process::Ending m_ending;
};

// Hears the engine from its sessions' threads, which may call at the same time.
class Recorder final : public supervise::RunObserver
{
public:
    void batchStarted(std::size_t session, std::span<const std::size_t> indices) override
    {
        const std::lock_guard lock(m_mutex);
        batches.emplace_back(session, std::vector<std::size_t>(indices.begin(), indices.end()));
    }
    void settled(std::span<const std::size_t>, std::span<const DrawingEntry>) override {}
    void requeued(std::span<const std::size_t> indices) override
    {
        const std::lock_guard lock(m_mutex);
        requeuedIndices.insert(requeuedIndices.end(), indices.begin(), indices.end());
    }

    void marksRefused(std::size_t, std::string_view why) override
    {
        const std::lock_guard lock(m_mutex);
        refusals.emplace_back(why);
    }

    std::vector<std::pair<std::size_t, std::vector<std::size_t>>> batches;
    std::vector<std::size_t> requeuedIndices;
    std::vector<std::string> refusals;

private:
    std::mutex m_mutex;
};

class Engine : public ::testing::Test
{
protected:
    // Drawings K0.dwg, K1.dwg, ... in the listing folder, all there but the missing ones.
    void prepare(std::size_t drawings, std::size_t batchSize, std::vector<std::size_t> missing = {})
    {
        ASSERT_TRUE(m_dir.valid());
        script::RunRequest request;
        request.cad.path = "/opt/cad/acad";
        request.cad.startDrawing = m_dir / "start.dwg";
        request.listingFolder = m_dir / "ritningar";
        request.templatePath = "rita.scr";
        request.scriptTemplate = *script::readScriptTemplate("_.OPEN \"%f\"\r\n_.QSAVE\r\n");
        request.clockReading = script::ClockReading{};
        request.separator = '/';
        m_policy.batchSize = batchSize;
        m_policy.timeout = seconds(1);
        for (std::size_t i = 0; i < drawings; ++i) {
            const std::string name = "K" + std::to_string(i) + ".dwg";
            request.drawings.push_back(name);
            if (std::find(missing.begin(), missing.end(), i) == missing.end())
                writeFile(request.listingFolder + "/" + name, "dwg");
        }
        auto journal = supervise::JournalWriter::create(m_journalPath, request, m_policy);
        ASSERT_TRUE(journal) << journal.error().message;
        m_journal = std::move(*journal);
        for (const std::string& name : request.drawings)
            m_content.drawings.emplace_back().name = name;
        request.drawings.clear();
        m_content.request = std::move(request);
        m_content.usable = true;
    }

    RunOutcome run(std::size_t sessions, bool marks, std::vector<Part> parts)
    {
        std::deque<Part> left(parts.begin(), parts.end());
        std::mutex mutex;
        supervise::RunEngine::Setup setup;
        setup.journalPath = m_journalPath;
        setup.interrupt = &m_stop;
        setup.observer = &m_observer;
        setup.policy = m_policy;
        setup.policy.sessions = sessions;
        setup.policy.marks = marks ? supervise::MarksChoice::On : supervise::MarksChoice::Off;
        setup.clock = m_clock.clock();
        setup.start = [&](const supervise::SessionStart& start) -> Result<std::unique_ptr<supervise::Session>> {
            const std::lock_guard lock(mutex);
            m_starts.push_back(start);
            m_scripts.push_back(readFile(supervise::sessionScriptPath(m_journalPath, start.session)));
            if (left.empty())
                return Result<std::unique_ptr<supervise::Session>>::failure("fler sessioner än testet väntade sig");
            Part part = std::move(left.front());
            left.pop_front();
            if (!part.startError.empty())
                return Result<std::unique_ptr<supervise::Session>>::failure(part.startError);
            return std::unique_ptr<supervise::Session>(std::make_unique<FakeSession>(
                std::move(part), m_clock, supervise::sessionMarksPath(m_journalPath, start.session), m_stop));
        };
        std::vector<std::size_t> indices(m_content.drawings.size());
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = i;
        supervise::RunEngine engine(*m_journal, m_content, setup);
        RunOutcome outcome = engine.run(indices);
        engine.recordEnd(outcome);
        EXPECT_TRUE(left.empty()) << left.size() << " sessions never started";
        return outcome;
    }

    // Each drawing's state and exit status, in the content and in the journal read back alike.
    void expectDrawings(const std::vector<std::pair<State, std::string>>& expected)
    {
        const auto read = supervise::readJournal(m_journalPath);
        ASSERT_TRUE(read) << read.error();
        ASSERT_EQ(m_content.drawings.size(), expected.size());
        ASSERT_EQ(read->drawings.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(m_content.drawings[i].state, expected[i].first) << i;
            EXPECT_EQ(m_content.drawings[i].exitStatus, systemStatus(expected[i].second)) << i;
            EXPECT_EQ(read->drawings[i].state, m_content.drawings[i].state) << i;
            EXPECT_EQ(read->drawings[i].exitStatus, m_content.drawings[i].exitStatus) << i;
        }
    }

    TempFolder m_dir;
    supervise::RunPolicy m_policy;
    std::string m_journalPath = m_dir / "run.journal";
    FakeClock m_clock;
    process::Interrupt m_stop;
    Recorder m_observer;
    std::unique_ptr<supervise::JournalWriter> m_journal;
    supervise::JournalContent m_content;
    std::vector<supervise::SessionStart> m_starts;
    std::vector<std::string> m_scripts; // each session's script as it started
};

TEST_F(Engine, WithoutMarksABatchThatEndsNormallyIsDoneWhole)
{
    prepare(3, 3);
    const RunOutcome outcome = run(1, false, {endsAt(500, exitedWith0)});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings({{State::Done, "0"}, {State::Done, "0"}, {State::Done, "0"}});
    EXPECT_EQ(m_content.drawings[2].startedMs, wallBase);
    EXPECT_EQ(m_content.drawings[2].endedMs, wallBase + 500);
    ASSERT_EQ(m_starts.size(), 1u);
    const std::string scriptPath = supervise::sessionScriptPath(m_journalPath, 1);
    ASSERT_FALSE(m_starts[0].command.empty());
    EXPECT_EQ(m_starts[0].command.back().text, scriptPath);
    EXPECT_NE(readFile(scriptPath).find("K2.dwg"), std::string::npos);
}

// A session runs the start script before its first drawing and the end script before .EXIT, once: a session of a
// batch in the standard form, every process of one drawing in the console form.
TEST_F(Engine, EverySessionRunsTheSessionScriptsOnce)
{
    for (const auto form : {supervise::CommandForm::Standard, supervise::CommandForm::Console}) {
        m_journal.reset();
        m_content = {};
        m_starts.clear();
        m_scripts.clear();
        std::remove(m_journalPath.c_str());
        m_policy.form = form;
        prepare(2, 2);
        script::takeSessionScriptBytes(m_content.request.sessionScripts.start, "FILEDIA 0\n");
        script::takeSessionScriptBytes(m_content.request.sessionScripts.end, "FILEDIA 1\n");
        const bool console = form == supervise::CommandForm::Console;
        std::vector<Part> parts{endsAt(10, exitedWith0)};
        if (console)
            parts.push_back(endsAt(10, exitedWith0));
        const RunOutcome outcome = run(1, false, parts);
        EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
        const std::string open0 = "_.OPEN \"" + m_content.request.listingFolder + "/K0.dwg\"\r\n_.QSAVE\r\n";
        const std::string open1 = "_.OPEN \"" + m_content.request.listingFolder + "/K1.dwg\"\r\n_.QSAVE\r\n";
        const std::string start = "FILEDIA 0\r\n", end = "FILEDIA 1\r\n.EXIT\r\n";
        const std::vector<std::string> expected =
            console ? std::vector<std::string>{start + open0 + end, start + open1 + end}
                    : std::vector<std::string>{start + open0 + open1 + end};
        EXPECT_EQ(m_scripts, expected);
    }
}

TEST_F(Engine, WithMarksACrashCostsOnlyItsDrawingAndTheNextSessionRunsTheRest)
{
    prepare(3, 3);
    const RunOutcome outcome = run(1, true,
                                   {endsAt(250, crashed, {{10, "begin 0"}, {20, "end 0"}, {30, "begin 1"}}),
                                    endsAt(40, exitedWith0, {{10, "begin 2"}, {20, "end 2"}})});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings({{State::Done, "slutmärke"},
                    {State::Failed, "signal 11: CAD-programmet avslutades i den här ritningen"},
                    {State::Done, "slutmärke"}});
    EXPECT_EQ(m_observer.requeuedIndices, std::vector<std::size_t>{2});
    ASSERT_EQ(m_observer.batches.size(), 2u);
    EXPECT_EQ(m_observer.batches[1].second, std::vector<std::size_t>{2});
    // The crash counts from the drawing's own begin mark (seen at the first look), not the session's start.
    EXPECT_EQ(m_content.drawings[1].startedMs, wallBase + 100);
    EXPECT_EQ(m_content.drawings[1].endedMs, wallBase + 250);
    EXPECT_FALSE(supervise::stampOf(supervise::sessionMarksPath(m_journalPath, 1)).exists);
}

TEST_F(Engine, AHangIsKilledAtItsTimeOut)
{
    // Without marks the session has the time-out of every drawing of its batch.
    prepare(2, 2);
    RunOutcome outcome = run(1, false, {Part{}});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings({{State::TimedOut, "signal 9"}, {State::TimedOut, "signal 9"}});
    EXPECT_EQ(m_content.drawings[0].endedMs, wallBase + 2000);
}

TEST_F(Engine, WithMarksAHangCostsItsDrawingAndTheRestIsRequeued)
{
    // The time-out counts from the last mark: seen at the first look, 100 ms in.
    prepare(3, 3);
    const RunOutcome outcome =
        run(1, true, {Part{{{10, "begin 0"}, {20, "end 0"}, {50, "begin 1"}}, {}, {}, {}}, endsAt(30, exitedWith0)});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings(
        {{State::Done, "slutmärke"}, {State::TimedOut, "signal 9: hängde i den här ritningen"}, {State::Done, "0"}});
    EXPECT_EQ(m_content.drawings[1].endedMs, wallBase + 1100);
    EXPECT_EQ(m_observer.requeuedIndices, std::vector<std::size_t>{2});
}

TEST_F(Engine, WithMarksASessionHasItsWholeBatchsTimeUntilItsFirstMark)
{
    // The first starts slowly: its first mark comes after one drawing's time-out, well within its batch's. The
    // second carries out no marks and hangs: it is judged as without marks, at the same time.
    prepare(6, 3);
    const RunOutcome outcome = run(1, true,
                                   {endsAt(2600, exitedWith0,
                                           {{1500, "begin 0"},
                                            {1600, "end 0"},
                                            {1700, "begin 1"},
                                            {1800, "end 1"},
                                            {1900, "begin 2"},
                                            {2000, "end 2"}}),
                                    Part{}});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings({{State::Done, "slutmärke"},
                    {State::Done, "slutmärke"},
                    {State::Done, "slutmärke"},
                    {State::TimedOut, "signal 9"},
                    {State::TimedOut, "signal 9"},
                    {State::TimedOut, "signal 9"}});
    EXPECT_EQ(m_content.drawings[3].endedMs - m_content.drawings[3].startedMs, 3000);
    EXPECT_TRUE(m_observer.requeuedIndices.empty());
}

TEST_F(Engine, AMarksFileCutShortIsRefusedAndItsBatchJudgedWithoutMarks)
{
    // Cut and written anew between two looks: the marks of the first drawing after the cut would be lost, and
    // the drawing failed, were the file believed.
    prepare(3, 3);
    const RunOutcome outcome = run(1, true,
                                   {endsAt(400, exitedWith0,
                                           {{10, "begin 0"},
                                            {20, "end 0"},
                                            {150, cutMarks},
                                            {160, "begin 1"},
                                            {170, "end 1"},
                                            {180, "begin 2"},
                                            {190, "end 2"}})});
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    const std::string refused = "0: utan ritningsmärken: märkesfilen kortades under körningen";
    expectDrawings({{State::Done, "slutmärke"}, {State::Done, refused}, {State::Done, refused}});
    ASSERT_EQ(m_observer.refusals.size(), 1u);
    EXPECT_EQ(m_observer.refusals[0], "utan ritningsmärken: märkesfilen kortades under körningen");
}

TEST_F(Engine, AStopKillsTheSessionAndLeavesTheRestNotRun)
{
    prepare(4, 2);
    const RunOutcome outcome = run(1, false, {Part{{}, {}, 100, {}}});
    EXPECT_EQ(outcome.end, RunOutcome::End::Stopped);
    expectDrawings(
        {{State::Interrupted, "signal 9"}, {State::Interrupted, "signal 9"}, {State::NotRun, ""}, {State::NotRun, ""}});
    EXPECT_EQ(m_starts.size(), 1u);
}

TEST_F(Engine, SeveralSessionsTakeTheBatchesInListOrderAndLeaveMissingDrawingsOut)
{
    prepare(7, 2, {3});
    const RunOutcome outcome = run(3, false, std::vector<Part>(4, endsAt(10, exitedWith0)));
    EXPECT_EQ(outcome.end, RunOutcome::End::Completed) << outcome.error;
    expectDrawings({{State::Done, "0"},
                    {State::Done, "0"},
                    {State::Done, "0"},
                    {State::Missing, ""},
                    {State::Done, "0"},
                    {State::Done, "0"},
                    {State::Done, "0"}});
    auto batches = m_observer.batches;
    std::sort(batches.begin(), batches.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    const std::vector<std::vector<std::size_t>> expected = {{0, 1}, {2}, {4, 5}, {6}};
    ASSERT_EQ(batches.size(), expected.size());
    std::vector<std::size_t> sessions;
    for (std::size_t i = 0; i < batches.size(); ++i) {
        EXPECT_EQ(batches[i].second, expected[i]) << i;
        sessions.push_back(batches[i].first);
    }
    std::sort(sessions.begin(), sessions.end());
    EXPECT_EQ(sessions.front(), 1u);
    EXPECT_LE(sessions.back(), 3u);
}

TEST_F(Engine, AProgramThatCannotStartFailsItsBatchAndBreaksTheRun)
{
    prepare(4, 2);
    const RunOutcome outcome = run(1, false, {Part{{}, {}, {}, "finns inte"}});
    EXPECT_EQ(outcome.end, RunOutcome::End::Broken);
    EXPECT_EQ(outcome.error, "CAD-programmet /opt/cad/acad kan inte startas: finns inte");
    expectDrawings({{State::Failed, "kunde inte startas: finns inte"},
                    {State::Failed, "kunde inte startas: finns inte"},
                    {State::NotRun, ""},
                    {State::NotRun, ""}});
}

} // namespace
