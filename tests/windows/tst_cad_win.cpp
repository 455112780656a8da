// The CAD programs as Windows registers and starts them: the look-ups in HKEY_CLASSES_ROOT, and the
// command line and window state a started program receives (a stand-in records what it was given).
#include "os/editor.h"
#include "os/process.h"
#include "os/registry.h"
#include "runs/cadlookup.h"
#include "winsupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const char* const cadKeys[] = {"AutoCAD.Drawing", "AutoCAD LT.Drawing", "Icad.Drawing", "AutoCAD.Drawing.24",
                               "AutoCAD.Drawing.LT24"};

class CadRegistrations : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!wintest::mayWriteRegistry())
            GTEST_SKIP() << "would change this machine's file types; set VENDREL_TESTS_OWN_REGISTRY=1 on a test machine";
        removeKeys();
    }
    void TearDown() override
    {
        if (wintest::mayWriteRegistry())
            removeKeys();
    }
    static void removeKeys()
    {
        for (const char* key : cadKeys)
            wintest::deleteTree(HKEY_CLASSES_ROOT, key);
    }
    // Default values as installers write them: REG_SZ with the terminating NUL.
    static void setDefault(const std::string& key, const std::string& text)
    {
        wintest::writeRaw(HKEY_CLASSES_ROOT, key, "", REG_SZ, std::string(text.c_str(), text.size() + 1));
    }

    Registry registry{std::string()};
};

TEST_F(CadRegistrations, FoundThroughTheCurrentVersionAndTheOpenCommand)
{
    EXPECT_EQ(cad::findAutoCadProgram(registry), "");
    EXPECT_EQ(cad::findAutoCadLtProgram(registry), "");
    EXPECT_EQ(cad::findIntelliCadProgram(registry), "");

    setDefault("AutoCAD.Drawing\\CurVer", "AutoCAD.Drawing.24");
    setDefault("AutoCAD.Drawing.24\\shell\\open\\command",
               "\"C:\\Program Files\\Autodesk\\AutoCAD 2024\\acad.exe\" \"%1\"");
    setDefault("AutoCAD LT.Drawing\\CurVer", "  AutoCAD.Drawing.LT24");
    setDefault("AutoCAD.Drawing.LT24\\shell\\open\\command", "C:\\LT\\ACADLT.EXE /nologo \"%1\"");
    setDefault("Icad.Drawing\\shell\\open\\command", "\"C:\\IntelliCAD\\icad.exe\" /p \"%1\"");

    EXPECT_EQ(cad::readClassesRootDefault(registry, "autocad.drawing\\curver"), "AutoCAD.Drawing.24");
    EXPECT_EQ(cad::findAutoCadProgram(registry), "C:\\Program Files\\Autodesk\\AutoCAD 2024\\acad.exe");
    EXPECT_EQ(cad::findAutoCadLtProgram(registry), "C:\\LT\\ACADLT.EXE");
    EXPECT_EQ(cad::findIntelliCadProgram(registry), "C:\\IntelliCAD\\icad.exe");
}

TEST_F(CadRegistrations, BrokenChainsFindNothing)
{
    // A current version that names no registered version.
    setDefault("AutoCAD.Drawing\\CurVer", "AutoCAD.Drawing.99");
    EXPECT_EQ(cad::findAutoCadProgram(registry), "");

    // An open command that is no text, and one that does not fit the look-up's buffer.
    setDefault("AutoCAD LT.Drawing\\CurVer", "AutoCAD.Drawing.LT24");
    wintest::writeRaw(HKEY_CLASSES_ROOT, "AutoCAD.Drawing.LT24\\shell\\open\\command", "", REG_BINARY, "C:\\a.exe");
    EXPECT_EQ(cad::findAutoCadLtProgram(registry), "");
    setDefault("Icad.Drawing\\shell\\open\\command", "C:\\" + std::string(260, 'i') + "\\icad.exe");
    EXPECT_EQ(cad::findIntelliCadProgram(registry), "");
}

// A copy of the stand-in under the given name; gives the record it will write.
class StandIn
{
public:
    explicit StandIn(const std::string& programPath) : m_program(programPath)
    {
        const std::string source = wintest::ownFolder() + "\\cad_stand_in.exe";
        m_copied = CopyFileA(source.c_str(), programPath.c_str(), FALSE) != 0;
        m_record = programPath.substr(0, programPath.size() - 4) + ".txt";
        DeleteFileA(m_record.c_str());
    }
    ~StandIn()
    {
        DeleteFileA(m_program.c_str());
        DeleteFileA(m_record.c_str());
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool copied() const { return m_copied; }
    // The command line it received and the window state it was asked for.
    std::pair<std::string, std::string> received() const
    {
        const std::string text = wintest::readFile(m_record);
        const auto end = text.find('\n');
        if (end == std::string::npos)
            return {};
        return {text.substr(0, end), text.substr(end + 1, text.find('\n', end + 1) - end - 1)};
    }

private:
    std::string m_program;
    std::string m_record;
    bool m_copied = false;
};

TEST(CadLaunch, TheProgramGetsTheCommandLineCharacterForCharacterMinimised)
{
    // Blanks everywhere a user's folders have them.
    wintest::TemporaryFolder folder;
    const std::string programs = folder.file("Program Files");
    const std::string own = folder.file("Verktyg Vendrel");
    ASSERT_TRUE(CreateDirectoryA(programs.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((programs + "\\CAD 2024").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(own.c_str(), nullptr));
    const std::string program = programs + "\\CAD 2024\\acad.exe";
    StandIn cad(program);
    ASSERT_TRUE(cad.copied());
    const std::string scriptPath = folder.file("Temp mapp\\Vendrel.scr");

    for (const std::string parameters : {"/p Standard", ""}) {
        const std::string line = cad::cadCommandLine(program, own, parameters, scriptPath, '\\');
        ASSERT_TRUE(process::startCommandLine(line, process::Show::Minimized));
        wintest::waitForChildProcesses();

        const auto [received, show] = cad.received();
        EXPECT_EQ(received, "\"" + program + "\" \"" + own + "\\helvscr.dwg\" " + parameters + " /b \"" + scriptPath +
                                "\"");
        EXPECT_EQ(show, std::to_string(SW_SHOWMINIMIZED));
    }
}

TEST(CadLaunch, AProgramThatCannotBeStartedIsReported)
{
    wintest::TemporaryFolder folder;
    EXPECT_FALSE(process::startCommandLine("\"" + folder.file("gone\\acad.exe") + "\" \"C:\\helvscr.dwg\"  /b \"x\"",
                                           process::Show::Minimized));
    // A file that is no program.
    wintest::writeFile(folder.file("acad.exe"), "not a program");
    EXPECT_FALSE(process::startCommandLine("\"" + folder.file("acad.exe") + "\"", process::Show::Minimized));
}

TEST(TemplateEditor, NotepadGetsThePathUnquotedInANormalWindow)
{
    // Windows looks for a program named without a folder beside the starting program first.
    StandIn notepad(wintest::ownFolder() + "\\NOTEPAD.EXE");
    ASSERT_TRUE(notepad.copied());
    wintest::TemporaryFolder folder;

    ASSERT_TRUE(editor::openTextFile(folder.file("Mallar och script"), "Rita om.scr"));
    wintest::waitForChildProcesses();

    const auto [received, show] = notepad.received();
    EXPECT_EQ(received, "NOTEPAD.EXE " + folder.file("Mallar och script") + "\\Rita om.scr");
    EXPECT_EQ(show, std::to_string(SW_SHOWNORMAL));
}

} // namespace
