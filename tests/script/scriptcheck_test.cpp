#include "script/expandtemplate.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"
#include "script/scripttemplate.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using script::CheckCode;
using Lines = std::vector<std::string>;

namespace {

struct Checked
{
    script::ScriptTemplate scriptTemplate;
    std::string folder;
    Lines names;
    std::string project;
    std::vector<script::Finding> findings;

    script::RunRequest input() const
    {
        script::RunRequest request;
        request.scriptTemplate = scriptTemplate;
        request.listingFolder = folder;
        request.drawings = names;
        request.projectName = project;
        request.clockReading = script::ClockReading{"2026-12-07", "14:05:09"};
        request.separator = '/';
        return request;
    }
    // "code:line:drawing" for each finding, in order.
    std::vector<std::string> summary() const
    {
        std::vector<std::string> result;
        for (const auto& finding : findings)
            result.push_back(std::string(script::codeName(finding.code)) + ":" + std::to_string(finding.line) + ":" +
                             std::string(script::findingDrawing(finding, input())));
        return result;
    }
    std::string text(std::size_t i) const { return script::findingText(findings.at(i), input()); }
};

Checked check(Lines body, std::string folder, Lines names, std::string project = {})
{
    Checked checked{{std::move(body), false}, std::move(folder), std::move(names), std::move(project), {}};
    checked.findings = script::checkScript(checked.input());
    return checked;
}

// The same with a template read from its bytes, as the rules read a file (LF ends a line).
Checked checkTemplate(std::string_view bytes, std::string folder, Lines names, std::string project = {})
{
    Checked checked{*script::readScriptTemplate(bytes, script::LineEnds::CrLfCrOrLf),
                    std::move(folder),
                    std::move(names),
                    std::move(project),
                    {}};
    checked.findings = script::checkScript(checked.input());
    return checked;
}

using Summary = std::vector<std::string>;

class ScriptCheck : public ::testing::Test
{
protected:
    std::string folder() const { return m_dir.path().string(); }
    void touch(const std::string& name, std::string_view bytes = {}) const { writeBytes(m_dir.file(name), bytes); }

    TempDir m_dir;
};

} // namespace

TEST_F(ScriptCheck, ACleanFolderGivesNothingAndAnEmptyRunGivesErrors)
{
    touch("K01.dwg");
    touch("K02.dwg");
    EXPECT_TRUE(check({"_.OPEN \"%f\"", "_.QSAVE _.CLOSE"}, folder(), {"K01.dwg", "K02.dwg"}).findings.empty());

    EXPECT_EQ(check({"_.OPEN %f"}, folder(), {}).summary(), Summary({"no-drawings:0:"}));
    EXPECT_EQ(check({}, folder(), {"K01.dwg"}).summary(), Summary({"no-body:0:"}));
    const auto both = check({}, folder(), {});
    EXPECT_EQ(both.summary(), Summary({"no-drawings:0:", "no-body:0:"}));
    EXPECT_EQ(script::levelOf(both.findings[0].code), script::CheckLevel::Error);
    EXPECT_EQ(both.text(1), "Scriptmallen har inga kommandorader: scriptet innehåller bara .EXIT.");

    // The start drawing the CAD program opens first: missing, it is an error before anything else.
    Checked start = check({"_.OPEN \"%f\""}, folder(), {"K01.dwg"});
    script::RunRequest request = start.input();
    request.cad.startDrawing = folder() + "/helvscr.dwg";
    start.findings = script::checkScript(request);
    ASSERT_EQ(start.summary(), Summary({"no-start-drawing:0:"}));
    EXPECT_EQ(script::levelOf(start.findings[0].code), script::CheckLevel::Error);
    EXPECT_NE(script::findingText(start.findings[0], request).find(request.cad.startDrawing), std::string::npos);
    touch("helvscr.dwg");
    EXPECT_TRUE(script::checkScript(request).empty());
}

// A list that names one file twice is refused by the run: the review names each later naming, on its line.
TEST_F(ScriptCheck, TheSameDrawingTwiceIsAnError)
{
    touch("K01.dwg");
    touch("K02.dwg");
    const Checked twice = check({"_.OPEN \"%f\"", "_.QSAVE"}, folder(), {"K01.dwg", "K02.dwg", "./K01.dwg", "K02.dwg"});
    EXPECT_EQ(twice.summary(), Summary({"same-drawing:5:./K01.dwg", "same-drawing:7:K02.dwg"}));
    EXPECT_EQ(script::levelOf(twice.findings[0].code), script::CheckLevel::Error);
    EXPECT_EQ(twice.text(0), "Ritningen ./K01.dwg är samma fil som K01.dwg högre upp i listan: en körning tar varje "
                             "ritning en gång.");
}

TEST_F(ScriptCheck, FindsDrawingsThatAreGoneOrCannotBeSaved)
{
    touch("A.dwg");
    touch("B.dwg");
    touch("C.dwg");
    touch("C.dwl", "anna\r\nRITDATOR-7\r\n2026-12-07 08:15\r\n");
    touch("D.dxf");
    touch("D.dwl2", "<?xml version=\"1.0\"?>\n<lock><user>bo</user><host>KONTOR</host></lock>\n");
    std::filesystem::create_directory(m_dir.path() / "E.dwg");
    ASSERT_EQ(::chmod(m_dir.file("B.dwg").c_str(), 0444), 0);

    const auto checked = check({"_.OPEN \"%f\"", "_.QSAVE _.CLOSE"}, folder(),
                               {"A.dwg", "B.dwg", "C.dwg", "D.dxf", "E.dwg", "Saknas.dwg"});
    Summary expected{"read-only:3:B.dwg", "locked:5:C.dwg", "locked:7:D.dxf", "missing:9:E.dwg",
                     "missing:11:Saknas.dwg"};
    // The superuser may write any file whatever its permission bits, and so may a CAD program it runs:
    // there is nothing read-only to find then.
    if (::geteuid() == 0)
        expected.erase(expected.begin());
    EXPECT_EQ(checked.summary(), expected);

    const std::size_t c = expected.size() - 4;
    EXPECT_NE(checked.text(c).find("C.dwl"), std::string::npos) << checked.text(c);
    EXPECT_NE(checked.text(c).find("(anna, RITDATOR-7, 2026-12-07 08:15)"), std::string::npos) << checked.text(c);
    EXPECT_NE(checked.text(c).find("krasch"), std::string::npos) << checked.text(c);
    EXPECT_NE(checked.text(c + 1).find("(bo, KONTOR)"), std::string::npos) << checked.text(c + 1);
    EXPECT_EQ(checked.text(c + 2), "Ritningen E.dwg är ingen fil.");
    EXPECT_EQ(checked.text(c + 3), "Ritningen Saknas.dwg finns inte i mappen " + folder() + ".");
    EXPECT_EQ(script::levelOf(CheckCode::Missing), script::CheckLevel::Error);
    EXPECT_EQ(script::levelOf(CheckCode::Locked), script::CheckLevel::Warning);

    // A folder that is gone makes every drawing missing, not the check fail.
    EXPECT_EQ(check({"_.OPEN \"%f\""}, folder() + "/borta", {"A.dwg", "B.dwg"}).summary(),
              Summary({"missing:1:A.dwg", "missing:2:B.dwg"}));
}

TEST_F(ScriptCheck, OddLockFilesAndUnreadableFoldersGiveClearFindings)
{
    touch("Tom.dwg");
    touch("Tom.dwl"); // empty: no holder, still a lock
    touch("Bin.dwg");
    touch("Bin.dwl", std::string("ola\0\x01\x02\xff\xfe", 8) + std::string(100, '\x07'));
    touch("Stor.dwg");
    touch("Stor.dwl", std::string(8 << 20, 'x')); // read no further than its head
    touch("Fifo.dwg");
    ASSERT_EQ(::mkfifo(m_dir.file("Fifo.dwl").c_str(), 0600), 0); // must not hang the check

    const auto checked = check({"_.OPEN \"%f\""}, folder(), {"Tom.dwg", "Bin.dwg", "Stor.dwg", "Fifo.dwg"});
    EXPECT_EQ(checked.summary(), Summary({"locked:1:Tom.dwg", "locked:2:Bin.dwg", "locked:3:Stor.dwg"}));
    EXPECT_EQ(checked.text(0).find("Tom.dwl ligger bredvid, sedan "), checked.text(0).find("Tom.dwl"))
        << checked.text(0);
    EXPECT_NE(checked.text(1).find("(ola)"), std::string::npos) << checked.text(1);
    EXPECT_LT(checked.text(2).size(), 400u);

    EXPECT_EQ(script::lockHolder(""), "");
    EXPECT_EQ(script::lockHolder("\x01\x02"), "");
    EXPECT_EQ(script::lockHolder("  Åsa Öberg  \r\nPC\xe5\r\n"), "Åsa Öberg, PC?"); // a lone Latin-1 byte
    EXPECT_EQ(script::lockHolder("a\nb\nc\nd\n"), "a, b, c");
    EXPECT_EQ(script::lockHolder(std::string(5000, 'y')), std::string(64, 'y'));

    if (::geteuid() == 0)
        return; // the superuser searches any folder
    const auto locked = m_dir.path() / "Låst";
    std::filesystem::create_directory(locked);
    writeBytes((locked / "X.dwg").string(), "");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const auto unreachable = check({"_.OPEN \"%f\""}, locked.string(), {"X.dwg"});
    ::chmod(locked.c_str(), 0700);
    EXPECT_EQ(unreachable.summary(), Summary({"missing:1:X.dwg"}));
    EXPECT_EQ(unreachable.text(0).find("Ritningen X.dwg kan inte nås: "), 0u) << unreachable.text(0);
}

TEST(ScriptCheckLines, FindsBlanksOutsideQuotesPerDrawingAndLine)
{
    const Lines names{"K01.dwg", "Plan 2.dwg"};
    // The folder's blank reaches every drawing through %f; the name's blank only the drawing that has it.
    const auto checked =
        check({"_.OPEN %f", "(setq n \"%name\") %name", "\"%lpath\" \"%f\""}, "/Mina ritningar", names);
    EXPECT_EQ(checked.summary(), Summary({"missing:1:K01.dwg", "unquoted-blank:1:K01.dwg", "missing:4:Plan 2.dwg",
                                          "unquoted-blank:4:Plan 2.dwg", "unquoted-blank:5:Plan 2.dwg"}));
    EXPECT_EQ(checked.text(1), "%f ger \"/Mina ritningar/K01.dwg\" med blanksteg utanför citattecken: CAD-programmet "
                               "tar blanksteget som Enter och delar värdet i flera svar.");
    EXPECT_EQ(checked.findings[4].placeholder, 4); // %name

    // A quote inside a value breaks the quotes around it; the blank after it is its doing, not another finding.
    const auto quote = check({"_.OPEN \"%f\"", "\"%m\" x"}, "/d", {"a\"b c.dwg", "a\"b.dwg", "ab.dwg"}, "Anl\" 7");
    EXPECT_EQ(quote.summary(), Summary({"missing:1:a\"b c.dwg", "quote-in-value:1:a\"b c.dwg", "quote-in-value:2:",
                                        "missing:3:a\"b.dwg", "quote-in-value:3:a\"b.dwg", "missing:5:ab.dwg"}));
    EXPECT_EQ(quote.text(2), "Mallens rad 2: %m ger \"Anl\" 7\" med ett citattecken: CAD-programmet tar det som början "
                             "eller slut på ett citat, så raden delas på fel ställen.");
    // A date format with a blank matters only outside quotes.
    EXPECT_EQ(check({"DATUM \"%date\""}, "/d", {"a"}).summary(), Summary({"missing:1:a"}));
}

// A line that carries a drawing's name is checked for every drawing; any other line comes out the same for each,
// and is told about once, at its place among the first drawing's lines.
TEST(ScriptCheckLines, EmptyLinesAndTrailingBlanksMatchTheExpandedScript)
{
    const Lines body{"_.OPEN %f", "", "%m", "_.SAVEAS %m", "(princ \"%name\")%ext", "%%m"};
    const std::vector<bool> perDrawing{true, false, false, false, true, false};
    const Lines names{"K01.dwg", "Plan ", "R.dwg"};
    for (const std::string project : {"", "Anl 7", "Anl "}) {
        const auto checked = check(body, "/d", names, project);
        const script::Expansion expansion = script::expandTemplate(
            {body, false}, "/d", names, project, [] { return script::LocalDateTime{}; }, {}, '/');
        const auto lines = expansion.script.lines();
        std::vector<std::string> expected, found;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (i >= body.size() && !perDrawing[i % body.size()])
                continue;
            if (lines[i].empty())
                expected.push_back(std::to_string(i + 1) + " empty");
            else if (lines[i].back() == ' ')
                expected.push_back(std::to_string(i + 1) + " trailing");
        }
        for (const auto& finding : checked.findings) {
            if (finding.code == CheckCode::EmptyLine)
                found.push_back(std::to_string(finding.line) +
                                (finding.variant == script::FindingVariant::trailingBlank ? " trailing" : " empty"));
        }
        EXPECT_EQ(found, expected) << "project \"" << project << "\"";
    }
    const auto checked = check({"_.SAVEAS %m"}, "/d", {"a", "b"}, "Anl ");
    EXPECT_EQ(checked.summary(), Summary({"unquoted-blank:1:", "empty-line:1:", "missing:1:a", "missing:2:b"}));
    EXPECT_EQ(checked.text(1),
              "Mallens rad 1 slutar med blanksteg efter %m: CAD-programmet tar blanksteget som ett extra Enter.");
}

// 180 empty lines over three drawings are 180 findings, not 540, each naming its line in the template.
TEST(ScriptCheckLines, TellsAboutATemplateLineOnceWithItsLineInTheTemplate)
{
    std::string text = "%C Rensar\r\n_.OPEN \"%f\"\r\n";
    for (int i = 0; i < 180; ++i)
        text += "\r\n";
    const auto checked = checkTemplate(text + "_.QSAVE\r\n", "/d", {"a", "b", "c"});
    std::size_t empty = 0;
    for (const auto& finding : checked.findings) {
        if (finding.code != CheckCode::EmptyLine)
            continue;
        EXPECT_EQ(finding.drawing, script::noDrawing);
        EXPECT_EQ(finding.line, empty + 2);
        EXPECT_EQ(finding.templateLine, empty + 3);
        ++empty;
    }
    EXPECT_EQ(empty, 180u);
    EXPECT_EQ(checked.text(1), "Mallens rad 3 är tom: CAD-programmet tar den som Enter, som avslutar eller besvarar "
                               "det kommando som pågår och bara vid kommandoraden upprepar föregående kommando.");
}

TEST(ScriptCheckLines, TellsWhereTheTemplateRulesChangeARealLine)
{
    const auto checked = checkTemplate("(princ \"Pris;Antal\")\n"
                                       "(command \"_.LAYER\" \"_S\" \"0\" \"\") ; byt lager (till 0)\n"
                                       "(setq n (+ 1 2;3))\n"
                                       "(defun c:rensa () ; b\u00f6rjar h\u00e4r\n"
                                       "LINE 0,0 1,1 ; \"gamla\" s\u00e4ttet\n"
                                       "(princ \"a;b\");\n"
                                       "LAYER SET 0  \n"
                                       "LAYER SET 0 ; med kommentar\n"
                                       "   \n"
                                       "12%mm\n",
                                       "/d", {"a", "b"});
    EXPECT_EQ(checked.summary(), Summary({"comment-cut:1:", "missing:1:a", "comment-cut:3:", "blanks-removed:7:",
                                          "blanks-removed:9:", "no-project:10:", "missing:11:b"}));
    EXPECT_EQ(checked.text(0),
              "Mallens rad 1: det sista ; börjar en kommentar, som tar bort \";Antal\")\" ur raden och "
              "lämnar en sträng utan sitt avslutande citattecken. Sätt ett ; sist på raden, så blir "
              "den kvar hel.");
    EXPECT_NE(checked.text(2).find("\";3))\" ur raden och lämnar parenteser som inte stängs."), std::string::npos)
        << checked.text(2);
    EXPECT_EQ(checked.text(3),
              "Mallens rad 7 slutar med 2 blanksteg, som tas bort: i ett script är varje blanksteg ett "
              "Enter, så raden förlorar 2 Enter (kanske det som avslutar kommandot). Skriv en tom rad "
              "efter den för varje Enter som ska vara kvar.");
    EXPECT_EQ(checked.text(5),
              "Mallens rad 10 innehåller %m, men inget projektnamn är angivet: %m försvinner ur raden.");
    EXPECT_EQ(checkTemplate("12%mm\n", "/d", {"a"}, "P").summary(), Summary({"missing:1:a"}));

    // A letter of a UTF-8 template that the script's code page lacks (Windows).
    Checked unencodable = check({"LAYER _S V?gg"}, "/d", {"a"});
    unencodable.scriptTemplate.lines = {{4, {}, 0, true}};
    unencodable.findings = script::checkScript(unencodable.input());
    EXPECT_EQ(unencodable.summary(), Summary({"unencodable:1:", "missing:1:a"}));
    EXPECT_EQ(unencodable.text(0),
              "Mallens rad 4 innehåller tecken som scriptets teckentabell inte kan återge: de blir ? i scriptet.");
}

TEST(ScriptCheckLines, ManyDrawingsAreCheckedInPiecesAndComeBackInScriptOrder)
{
    Lines names;
    for (int i = 0; i < 20000; ++i)
        names.push_back("K" + std::to_string(i) + ".dwg");
    const auto checked = check({"_.OPEN %f", "_.CLOSE"}, "/borta mapp", names);
    ASSERT_EQ(checked.findings.size(), 2 * names.size());
    for (std::size_t k = 0; k < checked.findings.size(); ++k) {
        const auto& finding = checked.findings[k];
        ASSERT_EQ(finding.drawing, k / 2);
        ASSERT_EQ(finding.line, 2 * (k / 2) + 1);
        ASSERT_EQ(finding.code, k % 2 ? CheckCode::UnquotedBlank : CheckCode::Missing);
    }
}

// Findings name the lines of the script as a session writes it: the start script first, each drawing's block
// with its marks, the end script before .EXIT. A session script's own lines are named by their line in its file.
TEST(ScriptCheckLines, ChecksSessionScriptsInPlace)
{
    script::RunRequest request = Checked{{{"_.OPEN \"%f\"", "_.QSAVE"}, false}, "/d", {"a", "b"}, {}, {}}.input();
    script::SessionScripts& session = request.sessionScripts;
    script::nameSessionScripts(session, "/s.scr", "/e.scr");
    script::takeSessionScriptBytes(session.start, "FILEDIA 0\r\n.EXIT\r\n");
    session.start.unencodable = {1}; // as a UTF-8 script with a letter the ANSI code page lacks reads on Windows
    script::takeSessionScriptBytes(session.end, "FILEDIA 1\r\n_.QUIT");
    const std::size_t indices[] = {0, 1};
    const script::DrawingMarks marks{"/m", indices};
    for (const bool marked : {false, true}) {
        std::vector<std::string> found;
        const std::vector<script::Finding> findings = script::checkScript(request, marked);
        for (const auto& finding : findings)
            found.push_back(std::string(script::codeName(finding.code)) + ":" + std::to_string(finding.line));
        EXPECT_EQ(found,
                  marked ? Summary({"unencodable:1", "session-exit:2", "missing:4", "missing:8", "session-exit:12"})
                         : Summary({"unencodable:1", "session-exit:2", "missing:3", "missing:5", "session-exit:8"}));
        script::Script script;
        EXPECT_FALSE(script::expandTemplate(request, request.drawings, {}, script, marked ? &marks : nullptr));
        const auto lines = script.lines();
        EXPECT_EQ(lines[findings[3].line - 1], "_.OPEN \"/d/b\"");
        EXPECT_EQ(lines[findings[4].line - 1], "_.QUIT");
        EXPECT_EQ(script::findingText(findings[1], request),
                  "Rad 2 i startscriptet /s.scr avslutar CAD-sessionen innan någon ritning har öppnats: ingen ritning "
                  "körs.");
        EXPECT_EQ(findings[4].templateLine, 2u);
    }
}
