#include "script/scripttemplate.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using script::readScriptTemplate;
using script::ScriptTemplate;
using Lines = std::vector<std::string>;

namespace {

Lines bodyOf(std::string_view bytes, script::LineEnds lineEnds = script::LineEnds::CrLfOrCr)
{
    const auto read = readScriptTemplate(bytes, lineEnds);
    EXPECT_TRUE(read.has_value());
    return read ? read->bodyLines : Lines{};
}

bool flagOf(std::string_view bytes)
{
    const auto read = readScriptTemplate(bytes);
    return read && read->needsProjectDatabase;
}

} // namespace

TEST(ReadScriptTemplate, TakesBodyLinesOfTheSampleTemplate)
{
    const auto read = readScriptTemplate("%C Opens, saves and closes each drawing\r\n"
                                         "_.OPEN %f\r\n"
                                         "_.QSAVE _.CLOSE ; %name.%ext done\r\n"
                                         "%END\r\n"
                                         "text after the end line\r\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->bodyLines, (Lines{"_.OPEN %f", "_.QSAVE _.CLOSE"}));
    EXPECT_FALSE(read->needsProjectDatabase);
}

TEST(ReadScriptTemplate, EndsLinesAtCrLfOrLoneCrOnly)
{
    EXPECT_EQ(bodyOf(""), Lines{});
    EXPECT_EQ(bodyOf("a"), Lines{"a"});
    EXPECT_EQ(bodyOf("a\r\n"), Lines{"a"});
    EXPECT_EQ(bodyOf("a\r"), Lines{"a"});
    EXPECT_EQ(bodyOf("\r\n"), Lines{""});
    EXPECT_EQ(bodyOf("a\r\nb\rc\nd"), (Lines{"a", "b", "c\nd"}));
    EXPECT_EQ(bodyOf("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(bodyOf("a\n\rb"), (Lines{"a\n", "b"}));
}

// Linux editors write LF alone: there it ends a line as well, so %C, %END and ';' act on one line each.
TEST(ReadScriptTemplate, EndsLinesAtALoneLfAlsoOnLinux)
{
    constexpr auto lf = script::LineEnds::CrLfCrOrLf;
    EXPECT_EQ(bodyOf("%C comment\n_.OPEN %f ; open\n_.QSAVE\n%END\nafter\n", lf), (Lines{"_.OPEN %f", "_.QSAVE"}));
    EXPECT_EQ(bodyOf("a\r\nb\rc\nd", lf), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(bodyOf("a\n\rb\n\n", lf), (Lines{"a", "", "b", ""}));
#ifdef _WIN32
    EXPECT_EQ(script::nativeLineEnds, script::LineEnds::CrLfOrCr);
#else
    EXPECT_EQ(script::nativeLineEnds, lf);
#endif
}

TEST(ReadScriptTemplate, GivesTheSameLinesWhateverTheChunks)
{
    const std::string plain = "%C c\r\nA %f\r\n\rB;x\r\n\nC  \rD\r\nE\n";
    for (const std::string& bytes : {plain, "\xEF\xBB\xBF" + plain, "\xEF\xBB" + plain}) {
        for (const auto lineEnds : {script::LineEnds::CrLfOrCr, script::LineEnds::CrLfCrOrLf}) {
            const auto whole = readScriptTemplate(bytes, lineEnds);
            ASSERT_TRUE(whole);
            for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
                script::TemplateReader reader(lineEnds);
                reader.feed(std::string_view(bytes).substr(0, cut));
                reader.feed(std::string_view(bytes).substr(cut));
                const auto split = reader.finish();
                ASSERT_TRUE(split);
                EXPECT_EQ(split->bodyLines, whole->bodyLines) << "cut at " << cut;
                EXPECT_EQ(split->utf8, whole->utf8) << "cut at " << cut;
            }
            script::TemplateReader byteWise(lineEnds);
            for (const char c : bytes)
                byteWise.feed(std::string_view(&c, 1));
            EXPECT_EQ(byteWise.finish()->bodyLines, whole->bodyLines);
        }
    }
}

// Real scripts begin with a byte-order mark: it is no part of the first line, so a comment there stays a comment
// and the mark never reaches the script. Bytes that only begin like it are text.
TEST(ReadScriptTemplate, ReadsATemplateWithAByteOrderMarkAsUtf8)
{
    const auto marked = readScriptTemplate("\xEF\xBB\xBF%C R\xC3\xA4ttar lager\r\n_.LAYER _S \"V\xC3\xA4gg\" \r\n\r\n");
    ASSERT_TRUE(marked);
    EXPECT_TRUE(marked->utf8);
#ifndef _WIN32
    EXPECT_EQ(marked->bodyLines, (Lines{"_.LAYER _S \"V\xC3\xA4gg\"", ""}));
    EXPECT_EQ(bodyOf("\xEF\xBB\xBF\xEF\xBB\xBFx"), Lines{"\xEF\xBB\xBFx"}); // only the first is the mark
#endif
    EXPECT_EQ(bodyOf("\xEF\xBB"), Lines{"\xEF\xBB"});
    EXPECT_EQ(bodyOf("\xEF\xBBx\r\n%C"), Lines{"\xEF\xBBx"});
    EXPECT_FALSE(readScriptTemplate("x\xEF\xBB\xBF")->utf8);
}

#ifdef _WIN32
// On Windows the script is in the ANSI code page, as the names in it are.
TEST(ReadScriptTemplate, PutsAUtf8TemplateInTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the letters are chosen for code page 1252, this system uses " << GetACP();
    const auto read = readScriptTemplate("\xEF\xBB\xBF\xC3\xA5\xE2\x82\xAC ; \xC3\xB6\r\nRitning \xE5\x9B\xB3\r\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->bodyLines, (Lines{"\xE5\x80", "Ritning ?"}));
    EXPECT_FALSE(read->lines[0].unencodable);
    EXPECT_EQ(read->lines[0].cut, "; \xC3\xB6"); // shown to the user in UTF-8
    EXPECT_TRUE(read->lines[1].unencodable);
}
#endif

// The review tells what the rules took from a line, by the line's number in the file.
TEST(ReadScriptTemplate, KeepsWhereEachBodyLineCameFromAndWhatItLost)
{
    const auto read = readScriptTemplate("%C head\r\nLAYER SET 0  \r\n(princ \"a;b\") ; note \r\n   \r\nX ;\r\n");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->lines.size(), 4u);
    const auto summary = [&](std::size_t i) {
        const script::TemplateLine& line = read->lines[i];
        return std::to_string(line.number) + "|" + line.cut + "|" + std::to_string(line.blanksRemoved);
    };
    EXPECT_EQ(summary(0), "2||2");
    EXPECT_EQ(summary(1), "3|; note |0"); // blanks before a comment are not counted
    EXPECT_EQ(summary(2), "4||3");
    EXPECT_EQ(summary(3), "5|;|0");
}

TEST(ReadScriptTemplate, DropsCommentsAndStopsAtTheEndLineInTheFirstColumnOnly)
{
    EXPECT_EQ(bodyOf("%c lower\r\n%Cxyz\r\n %C indented\r\n  %C two blanks\r\nkept"),
              (Lines{" %C indented", "  %C two blanks", "kept"}));
    for (const char* end : {"%end", "%End", "%ENDING", "%END of it"})
        EXPECT_EQ(bodyOf(std::string("a\r\n") + end + "\r\nb"), Lines{"a"}) << end;
    EXPECT_EQ(bodyOf("%EN\r\n %END\r\nb"), (Lines{"%EN", " %END", "b"}));
    EXPECT_EQ(bodyOf("%END\r\na"), Lines{});
    EXPECT_EQ(bodyOf("%C only\r\n%c comments"), Lines{});
}

TEST(ReadScriptTemplate, CutsAtTheLastSemicolonAndTrailingSpacesOnly)
{
    EXPECT_EQ(bodyOf("a;b;c"), Lines{"a;b"});
    EXPECT_EQ(bodyOf("; a note"), Lines{""});
    EXPECT_EQ(bodyOf(";"), Lines{""});
    EXPECT_EQ(bodyOf("  lead  "), Lines{"  lead"});
    EXPECT_EQ(bodyOf("tab\t ;x"), Lines{"tab\t"});
    EXPECT_EQ(bodyOf("  ;x"), Lines{""});
    EXPECT_EQ(bodyOf("x %name ; %ext gone"), Lines{"x %name"});
}

TEST(ReadScriptTemplate, SeesTheQuotedProjectPlaceholderOnEveryLineRead)
{
    EXPECT_TRUE(flagOf("%C uses \"%m\"\r\nA %m"));
    EXPECT_TRUE(flagOf("A ; comment \"%m\""));
    EXPECT_TRUE(flagOf("%END \"%m\""));
    EXPECT_TRUE(flagOf("x\r\ny \"%m\""));
    EXPECT_FALSE(flagOf("A %m\r\n\"%m \""));
    EXPECT_FALSE(flagOf("\"%M\""));
    EXPECT_FALSE(flagOf("%END\r\n\"%m\""));
}

TEST(ReadScriptTemplate, TakesAtMostTheLineLimit)
{
    std::string full;
    for (std::size_t i = 0; i < script::maxBodyLines; ++i)
        full += "l\r\n";
    EXPECT_EQ(readScriptTemplate(full)->bodyLines.size(), script::maxBodyLines);
    EXPECT_FALSE(readScriptTemplate(full + "one more"));
    EXPECT_TRUE(readScriptTemplate(full + "%C comment\r\n%END\r\nmore\r\n"));
}

// Why the template at path could not be loaded; nothing when it was.
std::optional<script::TemplateProblem::Kind> problemLoading(const std::string& path)
{
    const auto loaded = script::loadScriptTemplate(path);
    return loaded ? std::nullopt : std::optional(loaded.error().kind);
}

TEST(LoadScriptTemplate, ReadsAPresentFileAndTellsWhyNot)
{
    using Kind = script::TemplateProblem::Kind;
    TempDir dir;
    writeBytes(dir.file("Plot.scr"), "A %f\r\n%END\r\n");
    const auto loaded = script::loadScriptTemplate(dir.file("Plot.scr"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->scriptTemplate.bodyLines, Lines{"A %f"});
    writeBytes(dir.file("Lf.scr"), "A %f\nB\n");
    EXPECT_EQ(script::loadScriptTemplate(dir.file("Lf.scr"))->scriptTemplate.bodyLines,
              script::nativeLineEnds == script::LineEnds::CrLfOrCr ? Lines{"A %f\nB\n"} : (Lines{"A %f", "B"}));

    EXPECT_EQ(problemLoading(dir.file("None.scr")), Kind::Missing);
    EXPECT_EQ(problemLoading(dir.path().string()), Kind::Missing);

    std::string tooLong;
    for (std::size_t i = 0; i <= script::maxBodyLines; ++i)
        tooLong += "l\r\n";
    writeBytes(dir.file("Long.scr"), tooLong);
    EXPECT_EQ(problemLoading(dir.file("Long.scr")), Kind::TooLong);

#ifndef _WIN32
    writeBytes(dir.file(".Hidden.scr"), "A\r\n");
    EXPECT_EQ(problemLoading(dir.file(".Hidden.scr")), Kind::Missing);
    if (geteuid() != 0) {
        writeBytes(dir.file("Locked.scr"), "A\r\n");
        std::filesystem::permissions(dir.file("Locked.scr"), std::filesystem::perms::none);
        const auto locked = script::loadScriptTemplate(dir.file("Locked.scr"));
        ASSERT_FALSE(locked);
        EXPECT_EQ(locked.error().kind, Kind::Unreadable);
        EXPECT_FALSE(locked.error().message.empty());
    }
#endif
}

TEST(ScriptTemplatePath, TrimsTheNameAndJoinsOnce)
{
    EXPECT_EQ(script::scriptTemplatePath("C:\\Mallar", "  Plot.scr  ", '\\'), "C:\\Mallar\\Plot.scr");
    EXPECT_EQ(script::scriptTemplatePath("C:\\", "Plot.scr", '\\'), "C:\\Plot.scr");
    EXPECT_EQ(script::scriptTemplatePath("/", "Plot.scr", '/'), "/Plot.scr");
    EXPECT_EQ(script::scriptTemplatePath("/m", "   ", '/'), "/m/");
}
