#include "script/expandtemplate.h"
#include "script/scripttemplate.h"

#include <cstdio>
#include <gtest/gtest.h>

using script::LocalDateTime;
using Lines = std::vector<std::string>;
using Views = std::vector<std::string_view>;

namespace {

constexpr LocalDateTime december6{2026, 12, 6, 14, 5, 9};

std::string two(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// ISO texts, as Swedish regional settings give them.
const script::DateTimeFormat isoFormat{
    [](const LocalDateTime& t) { return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day); },
    [](const LocalDateTime& t) { return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second); }};

script::Clock fixedClock(LocalDateTime when = december6)
{
    return [when] { return when; };
}

script::Expansion expand(const Lines& body, std::string_view folder, const Lines& names, std::string_view project = {},
                         char separator = '\\', const script::Clock& clock = fixedClock())
{
    return script::expandTemplate(script::ScriptTemplate{body, false}, folder, names, project, clock, isoFormat,
                                  separator);
}

Views linesOf(const script::Expansion& expansion)
{
    EXPECT_FALSE(expansion.lineBreak);
    return expansion.script.lines();
}

} // namespace

TEST(ExpandTemplate, WritesTheSampleScriptByteForByte)
{
    const auto read = script::readScriptTemplate("%C Opens, saves and closes each drawing\r\n"
                                                 "_.OPEN %f\r\n"
                                                 "_.QSAVE _.CLOSE ; %name.%ext done\r\n"
                                                 "%END\r\n"
                                                 "text after the end line\r\n");
    const Lines names{"K01.dwg", "K02.DWG"};
    const auto expansion = script::expandTemplate(*read, "C:\\Projekt\\A1", names, {}, fixedClock(), isoFormat, '\\');
    EXPECT_EQ(expansion.script.bytes(), "_.OPEN C:\\Projekt\\A1\\K01.dwg\r\n"
                                        "_.QSAVE _.CLOSE\r\n"
                                        "_.OPEN C:\\Projekt\\A1\\K02.DWG\r\n"
                                        "_.QSAVE _.CLOSE\r\n"
                                        ".EXIT\r\n");
    EXPECT_EQ(expansion.script.lineCount(), 5u);
}

TEST(ExpandTemplate, FillsEveryPlaceholderEveryTime)
{
    const auto expansion = expand({"%f|%lfullname|%path|%lpath|%name|%ext|%m|%date|%time", "%ext%ext %mx"},
                                  "C:\\Projekt\\A1", {"K01.dwg"}, "Anl 7");
    EXPECT_EQ(linesOf(expansion),
              (Views{"C:\\Projekt\\A1\\K01.dwg|C:/Projekt/A1/K01.dwg|C:\\Projekt\\A1|C:/Projekt/A1|K01|dwg|Anl 7|"
                     "2026-12-06|14:05:09",
                     "dwgdwg Anl 7x", ".EXIT"}));
}

TEST(ExpandTemplate, NeverExpandsInsertedValuesAgain)
{
    script::DateTimeFormat sneaky{[](const LocalDateTime&) { return std::string("%time%f"); },
                                  [](const LocalDateTime&) { return std::string("%date"); }};
    const Lines names{"Plan 100%mod.dwg", "%name.%ext"};
    const auto expansion =
        script::expandTemplate(script::ScriptTemplate{{"%f %lfullname %path %name.%ext %m %date %time"}, false},
                               "C:\\Jobb\\50%date", names, "Anl %f", fixedClock(), sneaky, '\\');
    EXPECT_EQ(linesOf(expansion),
              (Views{"C:\\Jobb\\50%date\\Plan 100%mod.dwg C:/Jobb/50%date/Plan 100%mod.dwg C:\\Jobb\\50%date "
                     "Plan 100%mod.dwg Anl %f %time%f %date",
                     "C:\\Jobb\\50%date\\%name.%ext C:/Jobb/50%date/%name.%ext C:\\Jobb\\50%date %name.%ext Anl %f "
                     "%time%f %date",
                     ".EXIT"}));
}

TEST(ExpandTemplate, LeavesEverythingElseAlone)
{
    const auto expansion =
        expand({"%F %PATH %Name %EXT %M %DATE %Time", "100% %% %%f %l %lpat %", "", "  x\t"}, "C:\\A", {"K.dwg"});
    EXPECT_EQ(linesOf(expansion),
              (Views{"%F %PATH %Name %EXT %M %DATE %Time", "100% %% %C:\\A\\K.dwg %l %lpat %", "", "  x\t", ".EXIT"}));
}

TEST(ExpandTemplate, SplitsNamesAtTheLastDot)
{
    const auto expansion = expand({"[%name][%ext]"}, "/d", {"a.b.dwg", "README", ".dwg", "K.DwG", "x."}, {}, '/');
    EXPECT_EQ(linesOf(expansion), (Views{"[a.b][dwg]", "[README][]", "[][dwg]", "[K][DwG]", "[x][]", ".EXIT"}));
}

TEST(ExpandTemplate, JoinsFolderAndNameWithOneSeparator)
{
    const Lines body{"%f|%lfullname|%path|%lpath"};
    EXPECT_EQ(linesOf(expand(body, "C:\\", {"K01.dwg"})), (Views{"C:\\K01.dwg|C:/K01.dwg|C:\\|C:/", ".EXIT"}));
    EXPECT_EQ(linesOf(expand(body, "/", {"K01.dwg"}, {}, '/')), (Views{"/K01.dwg|/K01.dwg|/|/", ".EXIT"}));
    // On a system whose joint is '/', a backslash is part of a name and is kept.
    EXPECT_EQ(linesOf(expand(body, "/home/a\\b", {"c\\d.dwg"}, {}, '/')),
              (Views{"/home/a\\b/c\\d.dwg|/home/a\\b/c\\d.dwg|/home/a\\b|/home/a\\b", ".EXIT"}));
}

TEST(ExpandTemplate, EndsWithExitWhateverTheInput)
{
    EXPECT_EQ(expand({"A %f"}, "C:\\A", {}).script.bytes(), ".EXIT\r\n");
    EXPECT_EQ(expand({}, "C:\\A", {"a.dwg", "b.dwg"}).script.bytes(), ".EXIT\r\n");
    EXPECT_EQ(expand({"", "; x"}, "C:\\A", {"a.dwg"}).script.bytes(), "\r\n; x\r\n.EXIT\r\n");
}

TEST(ExpandTemplate, CarriesNameBytesUnchanged)
{
    const std::string latin1 = "Ritning \xe5\xe4\xf6 \xff.dwg";
    const std::string broken = "\xc3(\x80\xfe.DXF";
    const auto expansion = expand({"%f", "%name"}, "/m\xe9", {latin1, broken}, "Pr\xf6j", '/');
    EXPECT_EQ(linesOf(expansion),
              (Views{"/m\xe9/" + latin1, "Ritning \xe5\xe4\xf6 \xff", "/m\xe9/" + broken, "\xc3(\x80\xfe", ".EXIT"}));
}

TEST(ExpandTemplate, RefusesLineBreaksInNamesFolderAndProject)
{
    struct Case
    {
        std::string folder;
        Lines names;
        std::string project;
        script::LineBreakFault::Field field;
        std::string value;
    };
    const Case cases[] = {
        {"/d", {"a.dwg", "b\r\n_.ERASE.dwg"}, "", script::LineBreakFault::Field::DrawingName, "b\r\n_.ERASE.dwg"},
        {"/d", {"a\n.dwg"}, "", script::LineBreakFault::Field::DrawingName, "a\n.dwg"},
        {"/d\rx", {"a.dwg"}, "", script::LineBreakFault::Field::ListingFolder, "/d\rx"},
        {"/d", {"a.dwg"}, "P\n", script::LineBreakFault::Field::ProjectName, "P\n"},
        // Even where the template would never insert it.
        {"/d", {}, "P\r", script::LineBreakFault::Field::ProjectName, "P\r"},
    };
    for (const Case& c : cases) {
        const auto expansion = expand({"A"}, c.folder, c.names, c.project, '/');
        ASSERT_TRUE(expansion.lineBreak) << c.value;
        EXPECT_EQ(expansion.lineBreak->field, c.field);
        EXPECT_EQ(expansion.lineBreak->value, c.value);
        EXPECT_TRUE(expansion.script.bytes().empty());
    }
}

TEST(ExpandTemplate, ReadsTheClockForEachLineItExpands)
{
    // A run across midnight shows both dates, and no line mixes the two.
    const LocalDateTime ticks[] = {{2026, 12, 6, 23, 59, 59}, {2026, 12, 7, 0, 0, 0}, {2026, 12, 7, 0, 0, 1}};
    std::size_t reads = 0;
    const script::Clock clock = [&] { return ticks[std::min(reads++, std::size(ticks) - 1)]; };
    const auto expansion = expand({"%date %time", "no clock here", "%time"}, "/d", {"a.dwg", "b.dwg"}, {}, '/', clock);
    EXPECT_EQ(linesOf(expansion), (Views{"2026-12-06 23:59:59", "no clock here", "00:00:00", "2026-12-07 00:00:01",
                                         "no clock here", "00:00:01", ".EXIT"}));
}

TEST(ExpandTemplate, GivesIdenticalBytesForIdenticalInputInMemoryOrStreamed)
{
    const Lines body{"_.OPEN %f", "(setq d \"%date %time\" p \"%m\")", "_.SAVEAS %lpath/%name-ut.%ext"};
    Lines names;
    for (int i = 0; i < 5000; ++i)
        names.push_back("R" + std::to_string(i) + (i % 3 ? ".dwg" : ".DXF"));
    const auto first = expand(body, "D:\\Jobb", names, "Anl 7");
    const auto second = expand(body, "D:\\Jobb", names, "Anl 7");
    EXPECT_EQ(first.script.bytes(), second.script.bytes());
    EXPECT_EQ(first.script.lineCount(), names.size() * body.size() + 1);

    // Streamed in pieces, the script is the same byte for byte.
    struct Pieces final : script::ScriptOutput
    {
        bool write(std::string_view bytes) override
        {
            text.append(bytes);
            ++count;
            return true;
        }
        std::string text;
        int count = 0;
    } pieces;
    EXPECT_FALSE(script::expandTemplate(script::ScriptTemplate{body, false}, "D:\\Jobb", names, "Anl 7", fixedClock(),
                                        isoFormat, '\\', pieces));
    EXPECT_GT(pieces.count, 1);
    EXPECT_EQ(pieces.text, first.script.bytes());
}

TEST(ExpandTemplate, StopsWhenItsOutputFails)
{
    struct Refusing final : script::ScriptOutput
    {
        bool write(std::string_view) override
        {
            ++calls;
            return false;
        }
        int calls = 0;
    } refusing;
    const Lines names(100000, "a-rather-long-drawing-name.dwg");
    EXPECT_FALSE(script::expandTemplate(script::ScriptTemplate{{"%f %f %f"}, false}, "/d", names, {}, fixedClock(),
                                        isoFormat, '/', refusing));
    EXPECT_EQ(refusing.calls, 1);
}

// Each session runs its start script once before its first drawing's block (marks included) and its end script
// once before .EXIT; the layout tells the review where every line stands.
TEST(ExpandTemplate, PutsSessionScriptsOnceAroundTheDrawings)
{
    script::SessionScripts session;
    script::takeSessionScriptBytes(session.start, "FILEDIA 0\r\n%f stays\r\n");
    script::takeSessionScriptBytes(session.end, "FILEDIA 1");
    const script::ScriptTemplate body{{"_.OPEN %f", "_.QSAVE"}};
    const Lines names{"a.dwg", "b.dwg"};
    const std::size_t indices[] = {4, 7};
    const script::DrawingMarks marks{"m", indices};
    for (const bool marked : {false, true}) {
        script::Script script;
        EXPECT_FALSE(script::expandTemplate(body, "/p", names, {}, fixedClock(), isoFormat, '/', script,
                                            marked ? &marks : nullptr, &session));
        const Views lines = script.lines();
        const script::ScriptLayout layout{2, 2, 1, marked};
        ASSERT_EQ(lines.size(), layout.endLine(names.size(), 0) + 1) << marked;
        EXPECT_EQ(lines[0], "FILEDIA 0");
        EXPECT_EQ(lines[1], "%f stays"); // copied as it is, no placeholder filled in
        EXPECT_EQ(lines[layout.drawingLine(1, 0) - 1], "_.OPEN /p/b.dwg");
        if (marked) {
            EXPECT_EQ(lines[2], script::markLine("m", script::MarkKind::Begin, 4));
            EXPECT_EQ(lines[layout.endLine(2, 0) - 2], script::markLine("m", script::MarkKind::End, 7));
        }
        EXPECT_EQ(lines[layout.endLine(2, 0) - 1], "FILEDIA 1");
        EXPECT_EQ(lines.back(), ".EXIT");
    }
}
