// Supervised runs against the Win32 API: a stand-in CAD program that hangs, crashes, fails or leaves a child
// running, the job object that takes the whole tree, and the journal's one writer.
#include "script/scripttemplate.h"
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/runstart.h"
#include "support/readback.h"
#include "winsupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <sstream>

namespace {

using supervise::State;

// A run of "_.OPEN %f" over names in folder with the stand-in program, begun as every front end begins one,
// with its journal beside the drawings.
supervise::StartResult startStandInRun(const std::string& program, const std::string& folder,
                                       const std::vector<std::string>& names, std::chrono::milliseconds timeout)
{
    script::RunRequest request;
    request.cad.path = program;
    request.cad.startDrawing = folder + "\\helvscr.dwg";
    request.listingFolder = folder;
    request.scriptTemplate = *script::readScriptTemplate("_.OPEN %f\r\n");
    request.templateHash = script::templateHash("_.OPEN %f\r\n");
    request.clockReading = script::ClockReading{};
    request.separator = '\\';
    request.drawings = names;
    supervise::RunPolicy policy;
    policy.timeout = timeout;
    return supervise::createRun(std::move(request), policy, folder + "\\run.journal");
}

bool stillRunning(DWORD pid)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    const bool running = WaitForSingleObject(process, 2000) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

TEST(SupervisedRun, EveryEndIsRecordedAndNoProcessOutlivesItsSession)
{
    wintest::TemporaryFolder folder;
    const std::string program = folder.file("acad.exe");
    ASSERT_TRUE(CopyFileA((wintest::ownFolder() + "\\run_stand_in.exe").c_str(), program.c_str(), FALSE));
    CreateDirectoryA(folder.file("ritningar").c_str(), nullptr);
    const std::vector<std::string> names = {"K01.dwg",       "K02 HANG.dwg",  "K03.dwg",
                                            "K04 CRASH.dwg", "K05 LEAVE.dwg", "K06 FAIL.dwg"};
    for (const std::string& name : names)
        wintest::writeFile(folder.file("ritningar\\" + name), "dwg");

    auto started = startStandInRun(program, folder.file("ritningar"), names, std::chrono::milliseconds(1500));
    ASSERT_TRUE(started) << supervise::problemText(started.error());
    auto& journal = started->journal;
    auto& content = started->content;
    const std::string path = journal->path();
    // One writer: a second one is refused while the first holds the journal; readers are welcome.
    const auto other = supervise::JournalWriter::open(path);
    ASSERT_FALSE(other);
    EXPECT_EQ(other.error().kind, supervise::JournalProblem::Kind::Busy);

    supervise::RunEngine::Setup setup;
    setup.journalPath = path;
    setup.policy = content.policy;
    supervise::RunEngine engine(*journal, content, setup);
    const std::size_t all[] = {0, 1, 2, 3, 4, 5};
    supervise::RunOutcome outcome = engine.run(all);
    EXPECT_TRUE(engine.recordEnd(outcome));
    EXPECT_EQ(outcome.end, supervise::RunOutcome::End::Completed);
    journal.reset();

    const auto read = readBack(path, content);
    ASSERT_TRUE(read) << read.error();
    const State expected[] = {State::Done, State::TimedOut, State::Done, State::Failed, State::Done, State::Failed};
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(content.drawings[i].state, expected[i]) << names[i];
    EXPECT_EQ(content.drawings[5].exitStatus, "1");
    EXPECT_EQ(wintest::readFile(folder.file("acad.txt"))
                  .find("_.OPEN " + folder.file("ritningar\\K01.dwg") + "\r\n.EXIT\r\n"),
              0u);

    std::istringstream pids(wintest::readFile(folder.file("acad.pids")));
    int count = 0;
    for (DWORD pid = 0; pids >> pid; ++count)
        EXPECT_FALSE(stillRunning(pid)) << pid;
    EXPECT_EQ(count, 8); // six sessions and the two children
}

// The journal is in the ANSI code page throughout, as the names and paths it records: the time-out's "dödad"
// too, and no UTF-8 among them.
TEST(SupervisedRun, TheJournalHoldsOneEncoding)
{
    const auto ansi = [](const wchar_t* text) {
        char bytes[64] = {};
        const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
        return std::string(bytes, std::size_t(std::max(length - 1, 0)));
    };
    wintest::TemporaryFolder folder;
    const std::string program = folder.file("acad.exe");
    ASSERT_TRUE(CopyFileA((wintest::ownFolder() + "\\run_stand_in.exe").c_str(), program.c_str(), FALSE));
    const std::string drawings = folder.file(ansi(L"ritningar \u00e5\u00e4\u00f6"));
    CreateDirectoryA(drawings.c_str(), nullptr);
    const std::vector<std::string> names = {ansi(L"Fasad \u00f6st HANG.dwg")};
    wintest::writeFile(drawings + "\\" + names[0], "dwg");

    auto started = startStandInRun(program, drawings, names, std::chrono::milliseconds(500));
    ASSERT_TRUE(started) << supervise::problemText(started.error());
    auto& journal = started->journal;
    auto& content = started->content;
    const std::string path = journal->path();
    supervise::RunEngine::Setup setup;
    setup.journalPath = path;
    setup.policy = content.policy;
    supervise::RunEngine engine(*journal, content, setup);
    const std::size_t all[] = {0};
    supervise::RunOutcome outcome = engine.run(all);
    EXPECT_TRUE(engine.recordEnd(outcome));
    journal.reset();

    const std::string bytes = wintest::readFile(path);
    EXPECT_NE(bytes.find(ansi(L"d\u00f6dad")), std::string::npos);
    EXPECT_NE(bytes.find(names[0]), std::string::npos);
    EXPECT_NE(bytes.find(ansi(L"ritningar \u00e5\u00e4\u00f6")), std::string::npos);
    EXPECT_EQ(bytes.find("\xC3"), std::string::npos) << "UTF-8 in the journal";
    const auto read = readBack(path, content);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(content.drawings[0].state, State::TimedOut);
    EXPECT_EQ(content.drawings[0].exitStatus, ansi(L"d\u00f6dad"));
}

// Redirected, vendrel-run writes UTF-8: its messages and the drawing names of --status alike.
TEST(RunTool, TextsAreUtf8WhenRedirected)
{
    wintest::TemporaryFolder folder;
    char name[32] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, L"Fasad \u00f6st.dwg", -1, name, sizeof name, nullptr, nullptr), 0);
    script::RunRequest inputs;
    inputs.listingFolder = folder.path();
    inputs.drawings = {name};
    const std::string path = folder.file("run.journal");
    const auto created = supervise::JournalWriter::create(path, inputs, {});
    ASSERT_TRUE(created) << created.error().message;

    const std::string status = folder.file("status.txt");
    EXPECT_EQ(wintest::runProgram(VENDREL_RUN_TOOL, "--status \"" + path + "\"", status), 1u);
    EXPECT_EQ(wintest::readFile(status), "pending\tFasad \xC3\xB6st.dwg\n");

    const std::string usage = folder.file("usage.txt");
    EXPECT_EQ(wintest::runProgram(VENDREL_RUN_TOOL, "--batch 0", usage, true), 2u);
    EXPECT_NE(wintest::readFile(usage).find("\nAnv\xC3\xA4ndning: vendrel-run"), std::string::npos);
}

// Paths with letters beyond ASCII keep their bytes on the way into the journal: a run over them goes through.
TEST(RunTool, PathsBeyondAsciiRunAndAreRecordedAsGiven)
{
    wintest::TemporaryFolder folder;
    char letters[16] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, L"\u00e5\u00e4\u00f6", -1, letters, sizeof letters, nullptr, nullptr), 0);
    const std::string place = folder.file(std::string("Mallar ") + letters);
    CreateDirectoryA(place.c_str(), nullptr);
    const std::string program = place + "\\acad.exe";
    ASSERT_TRUE(CopyFileA((wintest::ownFolder() + "\\run_stand_in.exe").c_str(), program.c_str(), FALSE));
    wintest::writeFile(place + "\\Rensa.scr", "_.OPEN \"%f\"\r\n");
    wintest::writeFile(place + "\\K01.dwg", "dwg");
    const std::string journal = place + "\\run.journal";
    const std::string out = folder.file("out.txt");
    EXPECT_EQ(wintest::runProgram(VENDREL_RUN_TOOL,
                                  "--cad \"" + program + "\" --journal \"" + journal + "\" \"" + place +
                                      "\\Rensa.scr\" \"" + place + "\" K01.dwg",
                                  out, true),
              0u)
        << wintest::readFile(out);
    supervise::JournalContent content;
    const auto read = readBack(journal, content);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(content.request.templatePath, place + "\\Rensa.scr");
    EXPECT_EQ(content.request.listingFolder, place);
    ASSERT_EQ(content.drawings.size(), 1u);
    EXPECT_EQ(content.drawings[0].state, State::Done);
}

TEST(SupervisedRun, PathsReachTheProgramAsTheyAreAndParametersAsTyped)
{
    const std::vector<std::string> paths = {"C:\\Program Files\\CAD\\acad.exe", "C:\\a \"b\"\\helvscr.dwg",
                                            "C:\\slut\\", "C:\\tva\\\\\"\\ \\\\", ""};
    process::Command command;
    for (const std::string& path : paths)
        command.push_back({path});
    command.push_back({"/p \"Mitt std\"", true});
    const std::string line = process::windowsCommandLine(command);
    const auto widen = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
    const std::wstring wide = widen(line);
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_TRUE(words);
    ASSERT_EQ(count, static_cast<int>(paths.size()) + 2) << line;
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(std::wstring(words[i]), widen(paths[i])) << line;
    EXPECT_EQ(std::wstring(words[count - 1]), L"Mitt std");
    LocalFree(words);
}

} // namespace
