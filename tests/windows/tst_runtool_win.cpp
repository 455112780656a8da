// What a user of vendrel-run.exe meets at the command line: a journal named from the current folder, no drawing
// named at all, the help in a console of 80 columns, the line ends of redirected output and a standard error
// that nobody reads.
#include "cli/textwidth.h"
#include "supervise/journal.h"
#include "supervise/runstart.h"
#include "support/readback.h"
#include "winsupport.h"

#include <gtest/gtest.h>

namespace {

using supervise::State;

// A file as a standard handle of the program started.
class Handle
{
public:
    Handle(const std::string& path, bool write)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        m_handle = CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    }
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Runs vendrel-run.exe in folder (empty: this one) with these standard handles and gives its exit code.
DWORD runTool(const std::string& arguments, HANDLE input, HANDLE output, HANDLE error, const std::string& folder = {})
{
    std::string program = VENDREL_RUN_TOOL;
    if (program.front() == '/')
        program = "Z:" + program;
    for (char& c : program) {
        if (c == '/')
            c = '\\';
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    std::string commandLine = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    DWORD exitCode = DWORD(-1);
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return exitCode;
}

// A folder with a template, drawings and the stand-in as the CAD program.
class RunTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileA((wintest::ownFolder() + "\\cad_stand_in.exe").c_str(), m_program.c_str(), FALSE));
        wintest::writeFile(m_template, "_.OPEN \"%f\"\r\n");
        CreateDirectoryA(m_drawings.c_str(), nullptr);
        for (const char* name : {"K01.dwg", "K02.dwg", "K03.dwg"})
            wintest::writeFile(m_drawings + "\\" + name, "dwg");
    }
    std::string newRun() const
    {
        return "--cad \"" + m_program + "\" --journal \"" + m_journal + "\" \"" + m_template + "\" \"" + m_drawings +
               "\"";
    }
    supervise::JournalContent journal() const
    {
        supervise::JournalContent content;
        const auto read = readBack(m_journal, content);
        EXPECT_TRUE(read) << read.error();
        return content;
    }

    wintest::TemporaryFolder m_folder;
    std::string m_program = m_folder.file("acad.exe");
    std::string m_template = m_folder.file("mall.scr");
    std::string m_drawings = m_folder.file("ritningar");
    std::string m_journal = m_folder.file("run.journal");
    Handle m_nothing{"NUL", false};
};

// The batch script lies beside the journal: the program, which may work in a folder of its own, gets its whole
// path however the journal was named.
TEST_F(RunTool, AJournalNamedFromTheCurrentFolderIsTakenUpAsAWholePath)
{
    script::RunRequest request;
    request.templatePath = m_template;
    request.cad.path = m_program;
    request.cad.startDrawing = m_folder.file("helvscr.dwg");
    request.listingFolder = m_drawings;
    request.clockReading = script::ClockReading{};
    request.separator = '\\';
    request.drawings = {"K01.dwg"};
    {
        const auto created = supervise::createRun(std::move(request), {}, m_journal);
        ASSERT_TRUE(created) << supervise::problemText(created.error());
    }
    const Handle output(m_folder.file("out.txt"), true);
    EXPECT_EQ(runTool("--resume run.journal", m_nothing.get(), output.get(), output.get(), m_folder.path()), 0u)
        << wintest::readFile(m_folder.file("out.txt"));
    const std::string commandLine = wintest::readFile(m_folder.file("acad.txt"));
    EXPECT_NE(commandLine.find(" /b \"" + m_folder.file("run.scr") + "\""), std::string::npos) << commandLine;
    EXPECT_EQ(journal().drawings.at(0).state, State::Done);
}

// Neither names as arguments nor on standard input: a command line to mend, and no journal.
TEST_F(RunTool, NoDrawingNamedAtAllIsAWrongCommandLine)
{
    const Handle output(m_folder.file("out.txt"), true);
    EXPECT_EQ(runTool(newRun(), m_nothing.get(), output.get(), output.get()), 2u);
    EXPECT_NE(wintest::readFile(m_folder.file("out.txt")).find("ingen ritning att k\xC3\xB6ra"), std::string::npos)
        << wintest::readFile(m_folder.file("out.txt"));
    EXPECT_EQ(GetFileAttributesA(m_journal.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A console of 80 columns breaks a wider line in the middle of a word. Redirected, both streams end their
// lines alike, with LF.
TEST_F(RunTool, TheHelpFitsAConsoleAndBothStreamsEndLinesAlike)
{
    const std::string helpPath = m_folder.file("help.txt"), usagePath = m_folder.file("usage.txt");
    {
        const Handle help(helpPath, true), usage(usagePath, true);
        EXPECT_EQ(runTool("--help", m_nothing.get(), help.get(), usage.get()), 0u);
        EXPECT_EQ(runTool("--batch 0", m_nothing.get(), help.get(), usage.get()), 2u);
    }
    const std::string help = wintest::readFile(helpPath), usage = wintest::readFile(usagePath);
    EXPECT_NE(help.find("--sessions N"), std::string::npos) << help;
    EXPECT_EQ(linesWiderThan(help, 79), std::vector<std::string>{});
    const auto usageStart = usage.find("Anv\xC3\xA4ndning");
    ASSERT_NE(usageStart, std::string::npos) << usage;
    EXPECT_EQ(linesWiderThan(usage.substr(usageStart), 79), std::vector<std::string>{});
    for (const std::string* text : {&help, &usage}) {
        EXPECT_NE(text->find('\n'), std::string::npos);
        EXPECT_EQ(text->find('\r'), std::string::npos) << *text;
    }
}

// Nobody reads standard error any more (a pipe whose reader has gone): the run stops as Ctrl+C stops it, every
// drawing not-run and the journal ended, rather than run on unheard.
TEST_F(RunTool, AStandardErrorNobodyReadsStopsTheRun)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
    CloseHandle(reader);
    const Handle error(writer);
    const Handle output(m_folder.file("out.txt"), true);
    EXPECT_EQ(runTool(newRun() + " K01.dwg K02.dwg K03.dwg", m_nothing.get(), output.get(), error.get()), 1u);
    const supervise::JournalContent content = journal();
    ASSERT_EQ(content.drawings.size(), 3u);
    for (const supervise::DrawingEntry& entry : content.drawings)
        EXPECT_EQ(entry.state, State::NotRun) << entry.name;
    EXPECT_TRUE(content.finished);
}

} // namespace
