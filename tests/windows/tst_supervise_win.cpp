// Supervised runs against the Win32 API: a stand-in CAD program that hangs, crashes, fails or leaves a child
// running, the job object that takes the whole tree, and the journal's one writer.
#include "script/scripttemplate.h"
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "winsupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <sstream>

namespace {

using supervise::State;

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

    supervise::RunInputs inputs;
    inputs.program = program;
    inputs.startDrawing = folder.file("helvscr.dwg");
    inputs.folder = folder.file("ritningar");
    inputs.timeout = std::chrono::milliseconds(1500);
    supervise::JournalWriter::Opened how{};
    std::string error;
    const std::string path = folder.file("run.journal");
    auto journal = supervise::JournalWriter::create(path, inputs, names, how, error);
    ASSERT_TRUE(journal) << error;
    // One writer: a second one is refused while the first holds the journal; readers are welcome.
    supervise::JournalContent other;
    EXPECT_FALSE(supervise::JournalWriter::open(path, other, how, error));
    EXPECT_EQ(how, supervise::JournalWriter::Opened::Busy);

    supervise::JournalContent content;
    content.inputs = inputs;
    content.usable = true;
    for (const std::string& name : names)
        content.drawings.emplace_back().name = name;
    const auto scriptTemplate = *script::readScriptTemplate("_.OPEN %f\r\n");
    supervise::RunEngine::Setup setup;
    setup.scriptTemplate = &scriptTemplate;
    setup.format = {[](const script::LocalDateTime&) { return std::string(); },
                    [](const script::LocalDateTime&) { return std::string(); }};
    setup.clock = [] { return script::LocalDateTime{}; };
    setup.separator = '\\';
    setup.scriptPath = folder.file("run.scr");
    supervise::RunEngine engine(*journal, content, setup);
    const std::size_t all[] = {0, 1, 2, 3, 4, 5};
    supervise::RunOutcome outcome = engine.run(all);
    EXPECT_TRUE(engine.recordEnd(outcome));
    EXPECT_EQ(outcome.end, supervise::RunOutcome::End::Completed);
    journal.reset();

    ASSERT_TRUE(supervise::readJournal(path, content, error)) << error;
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
