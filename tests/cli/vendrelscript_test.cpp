// Runs the built vendrel-script program as a user would.

#include "cli/textwidth.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scripttemplate.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& argument)
{
#ifdef _WIN32
    return "\"" + argument + "\"";
#else
    std::string text = "'";
    for (const char c : argument) {
        if (c == '\'')
            text += "'\\''";
        else
            text += c;
    }
    return text + "'";
#endif
}

class VendrelScriptCommand : public ::testing::Test
{
protected:
    Outcome run(const std::vector<std::string>& arguments, std::string_view input = {})
    {
        const std::string in = m_dir.file("stdin"), out = m_dir.file("stdout"), err = m_dir.file("stderr");
        writeBytes(in, input);
        std::string command = quoted(VENDREL_SCRIPT_PROGRAM);
        for (const auto& argument : arguments)
            command += " " + quoted(argument);
        command += " <" + quoted(in) + " >" + quoted(out) + " 2>" + quoted(err);
#ifdef _WIN32
        command = "\"" + command + "\"";
#endif
        const int status = std::system(command.c_str());
        Outcome result;
#ifdef _WIN32
        result.exitCode = status;
#else
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        result.out = readBytes(out);
        result.err = readBytes(err);
        return result;
    }

    std::string templateFile(std::string_view bytes, std::string_view name = "Mall.scr")
    {
        const std::string path = m_dir.file(name);
        writeBytes(path, bytes);
        return path;
    }

    TempDir m_dir;
};

const char* const sampleTemplate = "%C Opens, saves and closes each drawing\r\n"
                                   "_.OPEN %f\r\n"
                                   "_.QSAVE _.CLOSE ; %name.%ext done\r\n"
                                   "%END\r\n"
                                   "text after the end line\r\n";

} // namespace

TEST_F(VendrelScriptCommand, WritesTheSameBytesAsTheEngine)
{
    const std::string mall = templateFile(sampleTemplate);
    const std::vector<std::string> names{"K01.dwg", "K02.DWG"};
    const auto expected =
        script::expandTemplate(*script::readScriptTemplate(sampleTemplate), "/Projekt/A1", names, {}, {}, {});

    const Outcome toStdout = run({mall, "/Projekt/A1", "K01.dwg", "K02.DWG"});
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, expected.script.bytes());
    const std::string joint(1, script::nativeSeparator());
    EXPECT_EQ(toStdout.out, "_.OPEN /Projekt/A1" + joint +
                                "K01.dwg\r\n_.QSAVE _.CLOSE\r\n"
                                "_.OPEN /Projekt/A1" +
                                joint + "K02.DWG\r\n_.QSAVE _.CLOSE\r\n.EXIT\r\n");

    // Names from standard input: a CR before the LF is no part of the name, blank lines name nothing.
    const Outcome fromStdin = run({mall, "/Projekt/A1"}, "K01.dwg\r\n\nK02.DWG");
    EXPECT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out, expected.script.bytes());

    const std::string output = m_dir.file("Vendrel.scr");
    writeBytes(output, "an earlier, longer script\r\n" + std::string(5000, 'x'));
    const Outcome toFile = run({"--output", output, mall, "/Projekt/A1", "K01.dwg", "K02.DWG"});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    EXPECT_EQ(readBytes(output), expected.script.bytes());
}

TEST_F(VendrelScriptCommand, FillsProjectDateAndTimeFromItsOptions)
{
    const std::string mall = templateFile("(setq p \"%m\")\r\n%date %time\r\n");
    const Outcome withProject = run({"--project", "Anl 7", "--now=2026-12-06T14:05:09", mall, "/d", "a.dwg"});
    EXPECT_EQ(withProject.exitCode, 0) << withProject.err;
    const std::string_view lines = withProject.out;
    EXPECT_TRUE(lines.starts_with("(setq p \"Anl 7\")\r\n")) << lines;
    // With Qt the date follows Qt's view of the locale; without, the C library's, which knows only C here.
#ifdef VENDREL_SCRIPT_WITH_QT
    const char* locale = "sv_SE.UTF-8";
    const std::string expected = "2026-12-06 14:05:09";
#else
    const char* locale = "C";
    const std::string expected = "12/06/26 14:05:09";
#endif
#ifdef _WIN32
    (void)locale;
    (void)expected;
#else
    const char* const earlier = std::getenv("LC_ALL");
    const std::string saved = earlier ? earlier : "";
    setenv("LC_ALL", locale, 1);
    const Outcome regional = run({"--project", "P", "--now", "2026-12-06T14:05:09", mall, "/d", "a.dwg"});
    if (earlier)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
    EXPECT_EQ(regional.out, "(setq p \"P\")\r\n" + expected + "\r\n.EXIT\r\n");
#endif

    const Outcome withoutProject = run({mall, "/d", "a.dwg"});
    EXPECT_EQ(withoutProject.exitCode, 1);
    EXPECT_NE(withoutProject.err.find("%m"), std::string::npos) << withoutProject.err;
    EXPECT_TRUE(withoutProject.out.empty());
}

TEST_F(VendrelScriptCommand, FailsWithExitOneAndWritesNothing)
{
    const std::string output = m_dir.file("Vendrel.scr");
    writeBytes(output, "earlier");
    const std::string good = templateFile("_.OPEN %f\r\n");
    std::string tooLong;
    for (std::size_t i = 0; i <= script::maxBodyLines; ++i)
        tooLong += "l\r\n";
    const std::string longTemplate = templateFile(tooLong, "Lang.scr");
    const std::string missing = m_dir.file("Saknas.scr");

    struct Case
    {
        std::vector<std::string> arguments;
        std::string input;
        std::string message;
    };
    const Case cases[] = {
        {{missing, "/d", "a.dwg"}, "", "Ingen scriptmall " + missing + " funnen."},
        {{m_dir.path().string(), "/d", "a.dwg"}, "", "Ingen scriptmall " + m_dir.path().string() + " funnen."},
        {{longTemplate, "/d", "a.dwg"}, "", "32767"},
        {{good, "/d"}, "a.dwg\nb\rc.dwg\n", "b\\rc.dwg"},
        {{good, "/d", "a\nb.dwg"}, "", "a\\nb.dwg"},
        {{good, "/d\r"}, "a.dwg", "/d\\r"},
        {{"--project", "P\n", good, "/d", "a.dwg"}, "", "P\\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--output", output};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome toFile = run(arguments, c.input);
        EXPECT_EQ(toFile.exitCode, 1) << c.message;
        EXPECT_NE(toFile.err.find(c.message), std::string::npos) << toFile.err;
        EXPECT_EQ(readBytes(output), "earlier");

        const Outcome toStdout = run(c.arguments, c.input);
        EXPECT_EQ(toStdout.exitCode, 1) << c.message;
        EXPECT_TRUE(toStdout.out.empty()) << c.message;
    }

    const Outcome unwritable = run({"--output", m_dir.file("no/such/folder.scr"), good, "/d", "a.dwg"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("no/such/folder.scr"), std::string::npos) << unwritable.err;
}

TEST_F(VendrelScriptCommand, ReportsUsageErrorsWithExitTwo)
{
    const std::string good = templateFile("A\r\n");
    const std::vector<std::vector<std::string>> cases{
        {},
        {good},
        {"--bogus", good, "/d"},
        {"--output", good, "/d"},
        {good, "/d", "--output"},
        {"--output=", good, "/d"},
        {"--now", "2026-02-29T10:00:00", good, "/d"},
        {"--now", "2026-12-06 14:05:09", good, "/d"},
        {"--now", "2026-12-06T24:00:00", good, "/d"},
        {good, "/d", ""},
    };
    for (const auto& arguments : cases) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("vendrel-script [--project NAME]"), std::string::npos) << result.err;
        EXPECT_EQ(linesWiderThan(result.err.substr(result.err.find("Användning")), 79), std::vector<std::string>{});
        EXPECT_TRUE(result.out.empty());
    }
    // A leap day is a date; "--" lets a drawing name begin with a dash.
    const Outcome leap = run({"--now", "2028-02-29T10:00:00", good, "/d", "--", "-x.dwg"});
    EXPECT_EQ(leap.exitCode, 0) << leap.err;
    EXPECT_EQ(leap.out, "A\r\n.EXIT\r\n");
}

TEST_F(VendrelScriptCommand, ExplainsItselfAndThePlaceholders)
{
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("vendrel-script [--project NAME] [--now YYYY-MM-DDTHH:MM:SS]"), std::string::npos);
    EXPECT_NE(help.out.find("[--check] TEMPLATE FOLDER"), std::string::npos);
    // A console 80 wide breaks a longer line in the middle of a word.
    EXPECT_EQ(linesWiderThan(help.out, 79), std::vector<std::string>{});
    for (const auto name : script::placeholderNames)
        EXPECT_NE(help.out.find("  " + std::string(name) + " "), std::string::npos) << name;
}

TEST_F(VendrelScriptCommand, ChecksInsteadOfWritingAndExitsByTheWorstFinding)
{
    const fs::path folder = m_dir.path() / "Mina ritningar";
    fs::create_directory(folder);
    for (const char* name : {"A.dwg", "B.dwg", "C.dwg"})
        writeBytes((folder / name).string(), "");
    writeBytes((folder / "C.dwl").string(), "anna\r\n");
    fs::permissions(folder / "B.dwg", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string output = m_dir.file("Vendrel.scr");
    writeBytes(output, "earlier");
    const std::string quoted = templateFile("_.OPEN \"%f\"\r\n", "Citat.scr");
    const std::string bare = templateFile("_.OPEN %f\r\n;\r\n", "Bar.scr");
    const std::string a = (folder / "A.dwg").string();

    const Outcome clean = run({"--check", "--output", output, quoted, folder.string(), "A.dwg"});
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "");

    const Outcome warnings = run({"--check", "--output", output, bare, folder.string(), "A.dwg", "C.dwg"});
    EXPECT_EQ(warnings.exitCode, 3) << warnings.err;
    std::string expected = "warning:1:unquoted-blank:A.dwg: %f ger \"" + a +
                           "\" med blanksteg utanför citattecken: CAD-programmet tar blanksteget som Enter och delar "
                           "värdet i flera svar.\n"
                           "warning:2:empty-line:: Mallens rad 2 blir tom: CAD-programmet tar den som Enter, som "
                           "avslutar eller besvarar det kommando som pågår och bara vid kommandoraden upprepar "
                           "föregående kommando.\n"
                           "warning:3:locked:C.dwg: Ritningen C.dwg verkar vara öppen på annat håll: låsfilen C.dwl "
                           "ligger bredvid (anna), sedan ";
    EXPECT_EQ(warnings.out.substr(0, expected.size()), expected);
    EXPECT_NE(warnings.out.find("\nwarning:3:unquoted-blank:C.dwg: "), std::string::npos) << warnings.out;
    EXPECT_EQ(warnings.out.find("\nwarning:4:"), std::string::npos) << warnings.out; // the empty line once only
    EXPECT_EQ(readBytes(output), "earlier");

    // Names from standard input, as in a normal call; a missing drawing is an error.
    const Outcome errors = run({"--check", quoted, folder.string()}, "B.dwg\nSaknas.dwg\n");
    EXPECT_EQ(errors.exitCode, 1) << errors.err;
    std::string missing =
        "error:2:missing:Saknas.dwg: Ritningen Saknas.dwg finns inte i mappen " + folder.string() + ".\n";
#ifndef _WIN32
    if (::geteuid() == 0) // the superuser writes any file: nothing is read-only to it
        EXPECT_EQ(errors.out, missing);
    else
#endif
        EXPECT_EQ(errors.out, "warning:1:read-only:B.dwg: Ritningen B.dwg är skrivskyddad: CAD-programmet kan inte "
                              "spara den.\n" +
                                  missing);

    const Outcome nothing = run({"--check", templateFile("%C bara en kommentar\r\n", "Tom.scr"), folder.string()});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.out, "error:0:no-drawings:: Inga ritningar att köra: scriptet innehåller bara .EXIT.\n"
                           "error:0:no-body:: Scriptmallen har inga kommandorader: scriptet innehåller bara .EXIT.\n");

    const Outcome noStart = run({"--check", "--start-drawing", (folder / "helvscr.dwg").string(), quoted,
                                 folder.string(), "B.dwg"});
    EXPECT_EQ(noStart.exitCode, 1);
    EXPECT_EQ(noStart.out.rfind("error:0:no-start-drawing::", 0), 0u) << noStart.out;

    // What stops a run stops the check the same way.
    const Outcome lineBreak = run({"--check", quoted, folder.string(), "a\nb.dwg"});
    EXPECT_EQ(lineBreak.exitCode, 1);
    EXPECT_NE(lineBreak.err.find("a\\nb.dwg"), std::string::npos) << lineBreak.err;
}

TEST_F(VendrelScriptCommand, MarksEachDrawingAndCountsTheMarkLinesInTheCheck)
{
    const std::string mall = templateFile("_.OPEN \"%f\"\r\n");
    const fs::path folder = m_dir.path() / "R";
    fs::create_directory(folder);
    writeBytes((folder / "A.dwg").string(), "");
    const std::string marks = m_dir.file("körning.marks");
    const std::string pathText = script::markPathText(marks);
    const Outcome marked = run({"--marks", marks, mall, folder.string(), "A.dwg", "B.dwg"});
    EXPECT_EQ(marked.exitCode, 0) << marked.err;
    const std::string joint(1, script::nativeSeparator());
    EXPECT_EQ(marked.out, script::markLine(pathText, script::MarkKind::Begin, 0) + "\r\n_.OPEN \"" + folder.string() +
                              joint + "A.dwg\"\r\n" + script::markLine(pathText, script::MarkKind::End, 0) + "\r\n" +
                              script::markLine(pathText, script::MarkKind::Begin, 1) + "\r\n_.OPEN \"" +
                              folder.string() + joint + "B.dwg\"\r\n" +
                              script::markLine(pathText, script::MarkKind::End, 1) + "\r\n.EXIT\r\n");

    const Outcome check = run({"--check", "--marks", marks, mall, folder.string(), "A.dwg", "B.dwg"});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(check.out.substr(0, 28), "error:5:missing:B.dwg: Ritni"); // the line of its _.OPEN
#ifndef _WIN32
    EXPECT_EQ(run({"--marks", m_dir.file("a\nb"), mall, folder.string(), "A.dwg"}).exitCode, 1);
#endif
}

// A real script as its editor saved it: a byte-order mark, a comment on its first line, a ';' inside a string, an
// Enter written as a blank, empty lines, and %m without a project.
TEST_F(VendrelScriptCommand, TakesARealScriptAsTemplateAndTellsWhatTheRulesChangeInIt)
{
    const fs::path folder = m_dir.path() / "R";
    fs::create_directory(folder);
    const std::string joint(1, script::nativeSeparator());
    const std::string mall = templateFile("\xEF\xBB\xBF%C R\xC3\xA4ttar och sparar\r\n"
                                          "_.OPEN \"%f\"\r\n"
                                          "(princ \"Pris;Antal\")\r\n"
                                          "_.LAYER _S 0 \r\n"
                                          "\r\n"
                                          "(setq nr 12%m)\r\n",
                                          "Verklig.scr");
    const Outcome written = run({mall, folder.string(), "A.dwg", "B.dwg"});
    EXPECT_EQ(written.exitCode, 0) << written.err;
    const std::string each = "(princ \"Pris\r\n_.LAYER _S 0\r\n\r\n(setq nr 12)\r\n";
    EXPECT_EQ(written.out, "_.OPEN \"" + folder.string() + joint + "A.dwg\"\r\n" + each + "_.OPEN \"" +
                               folder.string() + joint + "B.dwg\"\r\n" + each + ".EXIT\r\n");

    std::vector<std::string> names{"A.dwg"};
#ifndef _WIN32
    names.push_back("C\"x.dwg"); // a name Windows does not allow
#endif
    std::vector<std::string> arguments{"--check", "--marks", m_dir.file("marks"), mall, folder.string()};
    for (const std::string& name : names) {
        writeBytes((folder / name).string(), "");
        arguments.push_back(name);
    }
    const Outcome checked = run(arguments);
    EXPECT_EQ(checked.exitCode, 3) << checked.err;
    std::string expected = "warning:3:comment-cut:: Mallens rad 3: det sista ; börjar en kommentar, som tar bort "
                           "\";Antal\")\" ur raden och lämnar en sträng utan sitt avslutande citattecken. Sätt ett ; "
                           "sist på raden, så blir den kvar hel.\n"
                           "warning:4:blanks-removed:: Mallens rad 4 slutar med 1 blanksteg, ";
    EXPECT_EQ(checked.out.substr(0, expected.size()), expected) << checked.out;
    // The lines count the mark lines; the template lines are the file's, its comment line included.
    for (const char* line :
         {"\nwarning:5:empty-line:: Mallens rad 5 är tom: ", "\nwarning:6:no-project:: Mallens rad 6 innehåller %m, "})
        EXPECT_NE(checked.out.find(line), std::string::npos) << line << " in\n" << checked.out;
#ifndef _WIN32
    EXPECT_NE(checked.out.find("\nwarning:9:quote-in-value:C\"x.dwg: %f ger \""), std::string::npos) << checked.out;
#endif
    EXPECT_EQ(std::count(checked.out.begin(), checked.out.end(), '\n'), names.size() == 2 ? 5 : 4) << checked.out;
}
