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
    return wintest::runProgram(VENDREL_SCRIPT_TOOL, arguments, outputPath);
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

// Redirected, what the tool tells is UTF-8 whatever the code page, the drawing names with it; the script keeps the
// names' own bytes.
TEST(ScriptTool, TextsAreUtf8WhenRedirected)
{
    wintest::TemporaryFolder folder;
    const std::string help = folder.file("help.txt");
    ASSERT_EQ(runTool("--help", help), 0u);
    EXPECT_EQ(wintest::readFile(help).rfind("Anv\xC3\xA4ndning: vendrel-script", 0), 0u);

    char name[32] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, L"Fasad \u00f6st.dwg", -1, name, sizeof name, nullptr, nullptr), 0);
    const std::string templatePath = folder.file("open.scr");
    wintest::writeFile(templatePath, "_OPEN \"%f\"\r\n");
    const std::string arguments = "\"" + templatePath + "\" \"" + folder.path() + "\" \"" + name + "\"";
    const std::string findings = folder.file("findings.txt");
    runTool("--check " + arguments, findings);
    EXPECT_NE(wintest::readFile(findings).find("error:1:missing:Fasad \xC3\xB6st.dwg: "), std::string::npos)
        << wintest::readFile(findings);

    const std::string script = folder.file("script.txt");
    ASSERT_EQ(runTool(arguments, script), 0u);
    EXPECT_NE(wintest::readFile(script).find(name), std::string::npos);
}

} // namespace
