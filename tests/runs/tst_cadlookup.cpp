// The CAD registrations, the open-command cut and the command line, on the registry's texts.
#include "runs/cadlookup.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

TEST(ClassesRootDefault, QuotesAndLeadingBlanksGo)
{
    EXPECT_EQ(cad::classesRootDefaultText(R"("C:\Program Files\ACAD\acad.exe" "%1")"),
              R"(C:\Program Files\ACAD\acad.exe %1)");
    EXPECT_EQ(cad::classesRootDefaultText("   AutoCAD.Drawing.24 "), "AutoCAD.Drawing.24 ");
    EXPECT_EQ(cad::classesRootDefaultText(" \"a\"b\"\" c"), "ab c");
    // The text ends at its terminator.
    EXPECT_EQ(cad::classesRootDefaultText(std::string("acad.exe\0garbage", 16)), "acad.exe");
}

TEST(ClassesRootDefault, TextThatDoesNotFitTheBufferIsUnreadable)
{
    EXPECT_EQ(cad::classesRootDefaultText(std::string(254, 'a')), std::string(254, 'a'));
    EXPECT_EQ(cad::classesRootDefaultText(std::string(255, 'a')), "");
    // The rule counts the stored text: blanks and quotes that would be removed still take room.
    EXPECT_EQ(cad::classesRootDefaultText(std::string(200, ' ') + std::string(60, '"') + "x"), "");
}

TEST(ProgramFromOpenCommand, CutsAfterTheFirstExe)
{
    EXPECT_EQ(cad::programFromOpenCommand(R"(C:\Program Files\ACAD\acad.exe %1)"), R"(C:\Program Files\ACAD\acad.exe)");
    EXPECT_EQ(cad::programFromOpenCommand(R"(C:\CAD\ACAD.EXE /nologo)"), R"(C:\CAD\ACAD.EXE)");
    EXPECT_EQ(cad::programFromOpenCommand(R"(C:\A.Exe.dir\b.exe)"), R"(C:\A.Exe)");
    EXPECT_EQ(cad::programFromOpenCommand(R"(C:\CAD\acad.com %1)"), R"(C:\CAD\acad.com %1)");
    EXPECT_EQ(cad::programFromOpenCommand(".ex"), ".ex");
    EXPECT_EQ(cad::programFromOpenCommand(""), "");
}

// A HKEY_CLASSES_ROOT with the keys a CAD installation writes.
struct ClassesRoot
{
    std::map<std::string, std::string> stored;
    cad::ClassesRootReader reader() const
    {
        return [this](std::string_view subkey) {
            const auto found = stored.find(std::string(subkey));
            return found == stored.end() ? std::string() : cad::classesRootDefaultText(found->second);
        };
    }
};

TEST(Registrations, AutoCadGoesThroughItsCurrentVersion)
{
    ClassesRoot root;
    root.stored["AutoCAD.Drawing\\CurVer"] = "AutoCAD.Drawing.24";
    root.stored["AutoCAD.Drawing.24\\shell\\open\\command"] = R"("C:\Program Files\ACAD\acad.exe" "%1")";
    root.stored["AutoCAD LT.Drawing\\CurVer"] = " \"AutoCAD LT.Drawing.9\"";
    root.stored["AutoCAD LT.Drawing.9\\shell\\open\\command"] = R"(C:\LT\ACLT.EXE /nologo "%1")";
    root.stored["Icad.Drawing\\shell\\open\\command"] = R"("D:\ICAD\icad" "%1")";

    EXPECT_EQ(cad::registeredAutoCadProgram(root.reader()), R"(C:\Program Files\ACAD\acad.exe)");
    EXPECT_EQ(cad::registeredAutoCadLtProgram(root.reader()), R"(C:\LT\ACLT.EXE)");
    // Without ".exe" the whole cleaned command stands as the path.
    EXPECT_EQ(cad::registeredIntelliCadProgram(root.reader()), R"(D:\ICAD\icad %1)");
}

TEST(Registrations, AMissingVersionFindsNothing)
{
    ClassesRoot root;
    // A command stored directly under "\shell\open\command" must not be taken for AutoCAD's.
    root.stored["\\shell\\open\\command"] = R"(C:\Other\other.exe)";
    root.stored["AutoCAD.Drawing.24\\shell\\open\\command"] = R"(C:\ACAD\acad.exe)";
    EXPECT_EQ(cad::registeredAutoCadProgram(root.reader()), "");
    EXPECT_EQ(cad::registeredIntelliCadProgram(root.reader()), "");
}

TEST(CommandLine, CharacterForCharacter)
{
    EXPECT_EQ(cad::cadCommandLine(R"(C:\CAD\acad.exe)", R"(C:\Verktyg)", "/p Standard", R"(C:\Temp\Vendrel.scr)", '\\'),
              R"("C:\CAD\acad.exe" "C:\Verktyg\helvscr.dwg" /p Standard /b "C:\Temp\Vendrel.scr")");
    EXPECT_EQ(cad::cadCommandLine("/opt/cad/acad", "/opt/vendrel", "", "/tmp/Vendrel.scr", '/'),
              R"("/opt/cad/acad" "/opt/vendrel/helvscr.dwg"  /b "/tmp/Vendrel.scr")");
    // A program folder at a drive root gets no doubled separator.
    EXPECT_EQ(cad::cadCommandLine("a", R"(C:\)", "", "s", '\\'), R"("a" "C:\helvscr.dwg"  /b "s")");
}

} // namespace

#ifdef _WIN32
#include "os/registry.h"

namespace {

// The registry itself, under a key of the test's own.
TEST(ClassesRootDefault, ReadsTheDefaultValueOfAKey)
{
    Registry registry(Registry::defaultUserStore());
    const std::string key = "Vendrel.Test.Drawing\\shell\\open\\command";
    registry.writeString(Hive::ClassesRoot, key, "", R"(  "C:\Program Files\ACAD\acad.exe" "%1")");
    EXPECT_EQ(cad::readClassesRootDefault(registry, key), R"(C:\Program Files\ACAD\acad.exe %1)");
    registry.writeString(Hive::ClassesRoot, key, "", std::string(300, 'a'));
    EXPECT_EQ(cad::readClassesRootDefault(registry, key), "");
    registry.deleteKey(Hive::ClassesRoot, "Vendrel.Test.Drawing");
    EXPECT_EQ(cad::readClassesRootDefault(registry, key), "");
}

} // namespace
#endif
