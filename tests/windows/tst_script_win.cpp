// The script engine's Windows side: the script's place under TEMP, replacing the script file with the
// Win32 file calls, and the command-line tool's byte-exact output on a Windows console.
#include "script/scriptfile.h"
#include "script/scriptfs.h"
#include "winsupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

class TemporaryVariable
{
public:
    TemporaryVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        _putenv_s(name, value ? value : "");
    }
    ~TemporaryVariable() { _putenv_s(m_name, m_old ? m_old->c_str() : ""); }
    TemporaryVariable(const TemporaryVariable&) = delete;
    TemporaryVariable& operator=(const TemporaryVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ScriptFilePath, FollowsTemp)
{
    {
        TemporaryVariable temp("TEMP", "C:\\Users\\ritare\\AppData\\Local\\Temp");
        EXPECT_EQ(script::scriptFilePath(), "C:\\Users\\ritare\\AppData\\Local\\Temp\\Vendrel.scr");
    }
    {
        TemporaryVariable temp("TEMP", "D:\\");
        EXPECT_EQ(script::scriptFilePath(), "D:\\Vendrel.scr");
    }
    {
        TemporaryVariable temp("TEMP", nullptr); // unset: the root of the current drive
        EXPECT_EQ(script::scriptFilePath(), "\\Vendrel.scr");
    }
}

// No temporary file may stay beside the script, whether the replacement worked or not.
void expectNoTemporaryFiles(const wintest::TemporaryFolder& folder)
{
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA(folder.file("*.tmp").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << entry.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

TEST(ScriptFile, ReplacesTheFileWhole)
{
    wintest::TemporaryFolder folder;
    const std::string path = folder.file("Vendrel.scr");
    wintest::writeFile(path, std::string(1000, 'x'));

    const std::string script = "_OPEN \"C:\\a.dwg\"\r\n.EXIT\r\n";
    const script::WriteResult written = script::replaceFile(path, script);
    EXPECT_TRUE(written) << written.error();
    EXPECT_EQ(wintest::readFile(path), script); // no text-mode CR added, nothing of the longer file left
    expectNoTemporaryFiles(folder);
}

TEST(ScriptFile, AScriptHeldOpenByAReaderStaysWhole)
{
    // A CAD program still reading the script of an earlier run, without letting it be deleted.
    wintest::TemporaryFolder folder;
    const std::string path = folder.file("Vendrel.scr");
    const std::string earlier = "_OPEN \"C:\\earlier.dwg\"\r\n.EXIT\r\n";
    wintest::writeFile(path, earlier);
    const HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    const script::WriteResult written = script::replaceFile(path, ".EXIT\r\n");
    CloseHandle(reader);

    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().empty());
    EXPECT_EQ(wintest::readFile(path), earlier);
    expectNoTemporaryFiles(folder);
}

TEST(ScriptFile, AFailedWriteSaysWhyAndChangesNothing)
{
    wintest::TemporaryFolder folder;
    const script::WriteResult missingFolder = script::replaceFile(folder.file("gone\\Vendrel.scr"), "x\r\n");
    EXPECT_FALSE(missingFolder);
    EXPECT_FALSE(missingFolder.error().empty());

    // A folder where the script should be cannot be replaced by a file.
    const std::string blocked = folder.file("Vendrel.scr");
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    const script::WriteResult overFolder = script::replaceFile(blocked, "x\r\n");
    EXPECT_FALSE(overFolder);
    EXPECT_NE(GetFileAttributesA(blocked.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(ScriptFile, HiddenFilesAndFoldersAreNotVisibleFiles)
{
    wintest::TemporaryFolder folder;
    const std::string plain = folder.file("plain.scr");
    const std::string hidden = folder.file("hidden.scr");
    wintest::writeFile(plain, "x");
    wintest::writeFile(hidden, "x");
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));

    EXPECT_TRUE(script::isVisibleFile(plain));
    EXPECT_FALSE(script::isVisibleFile(hidden));
    EXPECT_FALSE(script::isVisibleFile(folder.path()));
    EXPECT_FALSE(script::isVisibleFile(folder.file("missing.scr")));
}

// Runs the command-line tool with its standard output in a file; gives its exit code.
DWORD runTool(const std::string& arguments, const std::string& outputPath)
{
    std::string program = VENDREL_SCRIPT_TOOL;
    if (!program.empty() && program.front() == '/')
        program = "Z:" + program; // a Unix path as Wine's drive Z: shows it
    for (char& c : program) {
        if (c == '/')
            c = '\\';
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE output =
        CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return DWORD(-1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    DWORD exitCode = DWORD(-1);
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    return exitCode;
}

TEST(ScriptTool, WritesTheScriptBytesToStandardOutputAndToAFile)
{
    wintest::TemporaryFolder folder;
    const std::string templatePath = folder.file("open.scr");
    wintest::writeFile(templatePath, "_OPEN \"%f\"\r\n_QSAVE\r\n");
    const std::string expected = "_OPEN \"C:\\Ritningar\\a.dwg\"\r\n_QSAVE\r\n"
                                 "_OPEN \"C:\\Ritningar\\b.dwg\"\r\n_QSAVE\r\n"
                                 ".EXIT\r\n";
    const std::string arguments = "\"" + templatePath + "\" C:\\Ritningar a.dwg b.dwg";

    // Standard output in binary: a text-mode console would turn each CR LF into CR CR LF.
    const std::string captured = folder.file("stdout.txt");
    ASSERT_EQ(runTool(arguments, captured), 0u);
    EXPECT_EQ(wintest::readFile(captured), expected);

    const std::string scriptPath = folder.file("Vendrel.scr");
    ASSERT_EQ(runTool("--output \"" + scriptPath + "\" " + arguments, folder.file("empty.txt")), 0u);
    EXPECT_EQ(wintest::readFile(scriptPath), expected);
}

} // namespace
