// Sessions of a stand-in CAD program that carries out drawing marks (tests/standin), under the engine and the
// Win32 API: several sessions at once, each a job object; the headless console's form, its command line and
// its output file; and folders whose names hold blanks and å, ä, ö, as the ANSI code page has them.
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/marks.h"
#include "supervise/runstart.h"
#include "support/readback.h"
#include "winsupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

using supervise::State;

std::string ansi(const wchar_t* text)
{
    char bytes[256] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes, std::size_t(std::max(length - 1, 0)));
}

// One line of the stand-in's log: "<process id> <wall clock ms> <event>".
struct Event
{
    DWORD pid = 0;
    long long ms = 0;
    std::string what;
};

std::vector<Event> readLog(const std::string& path)
{
    std::vector<Event> events;
    std::istringstream lines(wintest::readFile(path));
    for (std::string line; std::getline(lines, line);) {
        Event event;
        std::istringstream fields(line);
        if (fields >> event.pid >> event.ms && fields.get() == ' ' && std::getline(fields, event.what))
            events.push_back(std::move(event));
    }
    return events;
}

// The stand-in program, its drawings and the run's journal, all in place, which may have any name.
class StandInRun
{
public:
    StandInRun(std::string place, const std::vector<std::string>& names) : m_place(std::move(place)), m_names(names)
    {
        CreateDirectoryA(m_place.c_str(), nullptr);
        CreateDirectoryA(drawings().c_str(), nullptr);
        std::string standIn = VENDREL_MARK_STAND_IN;
        if (standIn.front() == '/')
            standIn = "Z:" + standIn; // a Unix path, as Wine shows it
        std::replace(standIn.begin(), standIn.end(), '/', '\\');
        m_copied = CopyFileA(standIn.c_str(), program().c_str(), FALSE);
        for (const std::string& name : names)
            wintest::writeFile(drawings() + "\\" + name, "dwg");
    }

    std::string program() const { return m_place + "\\cad.exe"; }
    std::string drawings() const { return m_place + ansi(L"\\Ritningar \u00e5\u00e4\u00f6"); }
    std::string journal() const { return m_place + "\\run.journal"; }
    std::vector<Event> log() const { return readLog(program() + ".log"); }

    // Runs every drawing; the journal as it was left.
    supervise::JournalContent run(std::size_t batch, std::chrono::milliseconds timeout,
                                  supervise::RunEngine::Setup setup, const std::string& parameters = {})
    {
        EXPECT_TRUE(m_copied);
        script::RunRequest request;
        request.cad = {{}, program(), parameters, m_place + "\\helvscr.dwg"};
        request.listingFolder = drawings();
        setup.policy.timeout = timeout;
        setup.policy.batchSize = batch;
        const bool console = setup.policy.form == supervise::CommandForm::Console;
        const std::string text = console ? "_.QSAVE\r\n" : "_.OPEN \"%f\"\r\n";
        request.scriptTemplate = *script::readScriptTemplate(text);
        request.templateHash = script::templateHash(text);
        request.clockReading = script::ClockReading{};
        request.separator = '\\';
        request.drawings = m_names;
        auto started = supervise::createRun(std::move(request), setup.policy, journal());
        supervise::JournalContent content;
        EXPECT_TRUE(started) << supervise::problemText(started.error());
        if (!started)
            return content;
        setup.journalPath = journal();
        supervise::RunEngine engine(*started->journal, started->content, setup);
        std::vector<std::size_t> all(m_names.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        supervise::RunOutcome outcome = engine.run(all);
        EXPECT_TRUE(engine.recordEnd(outcome));
        EXPECT_EQ(outcome.end, supervise::RunOutcome::End::Completed) << outcome.error;
        started->journal.reset();
        const auto read = readBack(journal(), content);
        EXPECT_TRUE(read) << read.error();
        return content;
    }

private:
    std::string m_place;
    std::vector<std::string> m_names;
    bool m_copied = false;
};

// How often the log says each drawing was opened, by its path.
std::map<std::string, int> openings(const std::vector<Event>& log)
{
    std::map<std::string, int> opened;
    for (const Event& event : log) {
        if (event.what.rfind("open ", 0) == 0)
            ++opened[event.what.substr(5)];
    }
    return opened;
}

void expectEachOpenedOnce(const StandInRun& run, const std::vector<std::string>& names)
{
    const auto opened = openings(run.log());
    EXPECT_EQ(opened.size(), names.size());
    for (const std::string& name : names) {
        const auto found = opened.find(run.drawings() + "\\" + name);
        EXPECT_TRUE(found != opened.end() && found->second == 1) << name;
    }
}

// Every stand-in that started is gone: the job objects took whatever was left.
void expectNoneLeft(const std::vector<Event>& log)
{
    for (const Event& event : log) {
        if (event.what != "start")
            continue;
        if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, event.pid)) {
            EXPECT_NE(WaitForSingleObject(process, 2000), WAIT_TIMEOUT) << "still running: " << event.pid;
            CloseHandle(process);
        }
    }
}

std::vector<std::string> numbered(std::size_t count, const std::map<std::size_t, std::string>& special)
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i <= count; ++i) {
        const auto found = special.find(i);
        names.push_back(ansi(L"Fasad \u00f6st ") + std::to_string(i) +
                        (found == special.end() ? "" : " " + found->second) + ".dwg");
    }
    return names;
}

// The marks file lies beside the journal, in a folder with å, ä and ö: the stand-in must find it for its marks
// to count, and only marks let the drawings after the hang and the crash in their batches go on in the next.
TEST(Sessions, MarksAccountForEachDrawingOfABatch)
{
    wintest::TemporaryFolder folder;
    const auto names = numbered(20, {{4, "HANG"}, {13, "CRASH"}});
    StandInRun run(folder.file(ansi(L"K\u00f6rning \u00e5\u00e4\u00f6")), names);
    supervise::RunEngine::Setup setup;
    setup.policy.marks = supervise::MarksChoice::On;
    const auto content = run.run(10, std::chrono::milliseconds(2000), setup);
    ASSERT_EQ(content.drawings.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        const State expected = i == 3 ? State::TimedOut : i == 12 ? State::Failed : State::Done;
        EXPECT_EQ(content.drawings[i].state, expected) << content.drawings[i].name;
    }
    // The reasons are in the ANSI code page, as the journal's other texts.
    EXPECT_NE(content.drawings[3].exitStatus.find("h\xE4ngde i den h\xE4r ritningen"), std::string::npos)
        << content.drawings[3].exitStatus;
    expectEachOpenedOnce(run, names);
    expectNoneLeft(run.log());
}

// Sets an environment variable of this process, which the programs it starts inherit, for a scope.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) { SetEnvironmentVariableA(name, value); }
    ~ScopedVariable() { SetEnvironmentVariableA(m_name, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
};

TEST(Sessions, FourAtOnceShareTheQueueAndNoMore)
{
    wintest::TemporaryFolder folder;
    const auto names = numbered(40, {{7, "HANG"}, {23, "CRASH"}});
    StandInRun run(folder.file("runs"), names);
    const ScopedVariable slow("VENDREL_STANDIN_MS", "150"); // each session long enough to meet the others
    supervise::RunEngine::Setup setup;
    setup.policy.marks = supervise::MarksChoice::On;
    setup.policy.sessions = 4;
    const auto content = run.run(5, std::chrono::milliseconds(2000), setup);
    ASSERT_EQ(content.drawings.size(), 40u);
    for (std::size_t i = 0; i < 40; ++i) {
        const State expected = i == 6 ? State::TimedOut : i == 22 ? State::Failed : State::Done;
        EXPECT_EQ(content.drawings[i].state, expected) << content.drawings[i].name;
    }
    const auto log = run.log();
    expectEachOpenedOnce(run, names);
    expectNoneLeft(log);

    // Each stand-in lives from its start to its exit or crash; the one that hung until the engine killed it,
    // which the journal's end of its drawing follows.
    std::vector<std::pair<long long, int>> changes; // (ms, +1 start / -1 end): at the same ms an end comes first
    for (const Event& event : log) {
        if (event.what == "start")
            changes.emplace_back(event.ms, +1);
        else if (event.what == "exit" || event.what == "crash")
            changes.emplace_back(event.ms, -1);
        else if (event.what == "hang")
            changes.emplace_back(content.drawings[6].endedMs, -1);
    }
    std::sort(changes.begin(), changes.end());
    int alive = 0, most = 0;
    for (const auto& change : changes)
        most = std::max(most, alive += change.second);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(most, 4);
}

// The console's form: one process a drawing, which gets the drawing and the script as whole arguments however
// their paths look, and writes what it says to a log file of its own.
TEST(Sessions, TheConsoleGetsItsPathsWholeAndItsOutputGoesToItsLog)
{
    wintest::TemporaryFolder folder;
    const std::vector<std::string> names = {ansi(L"Fasad \u00f6st.dwg"), ansi(L"Plan 2 \u00e5\u00e4\u00f6.dwg")};
    StandInRun run(folder.file(ansi(L"K\u00f6rningar \u00e5\u00e4\u00f6")), names);
    supervise::RunEngine::Setup setup;
    setup.policy.form = supervise::CommandForm::Console;
    setup.policy.marks = supervise::MarksChoice::On;
    const ScopedVariable errorToo("VENDREL_STANDIN_STDERR", "1");
    const auto content = run.run(1, std::chrono::milliseconds(5000), setup, "/p \"Mitt std\"");
    ASSERT_EQ(content.drawings.size(), 2u);

    std::vector<std::string> received;
    for (const Event& event : run.log()) {
        if (event.what.rfind("args ", 0) == 0)
            received.push_back(event.what);
    }
    ASSERT_EQ(received.size(), 2u);
    const std::string script = supervise::sessionScriptPath(run.journal(), 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(content.drawings[i].state, State::Done) << names[i];
        const std::string expected =
            "args [/i] [" + run.drawings() + "\\" + names[i] + "] [/s] [" + script + "] [/p] [Mitt std]";
        EXPECT_NE(std::find(received.begin(), received.end(), expected), received.end()) << names[i];
        // Standard output, then standard error, in the order written, in the one file of this drawing.
        EXPECT_EQ(wintest::readFile(supervise::consoleLogPath(run.journal(), i)),
                  std::string("o\0k\0\r\0\n\0!\0\r\0\n\0", 14));
    }
}

} // namespace
