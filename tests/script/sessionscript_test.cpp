#include "script/sessionscript.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

TEST(SessionScript, KeepsEveryLineAsWrittenWhateverItsLineEnds)
{
    script::SessionScript script;
    // Blanks are Enters and empty lines too: nothing is trimmed, %C is no comment here.
    script::takeSessionScriptBytes(script, "A 0\r\n\r\nB 1 \nC\rD ; x\r\n%C kept");
    EXPECT_EQ(script.lines, (Lines{"A 0", "", "B 1 ", "C", "D ; x", "%C kept"}));
    script::takeSessionScriptBytes(script, "\xEF\xBB\xBF"
                                           "A\r\n");
    EXPECT_EQ(script.lines, Lines{"A"}); // the mark is no part of the first line
    script::takeSessionScriptBytes(script, "");
    EXPECT_TRUE(script.lines.empty());
}

TEST(SessionScript, NamingKeepsOnlyAScriptReadUnderTheSameName)
{
    script::SessionScripts scripts;
    script::nameSessionScripts(scripts, "/s.scr", "");
    script::takeSessionScriptBytes(scripts.start, "A");
    script::nameSessionScripts(scripts, "/s.scr", "/e.scr");
    EXPECT_TRUE(scripts.start.read); // as the review showed it
    EXPECT_FALSE(scripts.end.read);
    script::nameSessionScripts(scripts, "/t.scr", "");
    EXPECT_FALSE(scripts.start.read);
    EXPECT_TRUE(scripts.start.lines.empty());
    EXPECT_FALSE(scripts.end.named());
}

TEST(SessionScript, ReadRefusesWhatIsNoScript)
{
    script::SessionScript missing;
    missing.path = "/nonexistent/vendrel/s.scr";
    const auto none = script::readSessionScript(missing);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().kind, script::SessionScriptProblem::Kind::Missing);
    script::SessionScript folder;
    folder.path = "/";
    const auto notAFile = script::readSessionScript(folder);
    ASSERT_FALSE(notAFile);
    EXPECT_EQ(notAFile.error().kind, script::SessionScriptProblem::Kind::Missing);
}

TEST(SessionScript, TellsTheLinesThatEndTheSession)
{
    for (const char* line : {".EXIT", "_.exit", "QUIT", "  _.QUIT", "exit", "_.SETVAR FILEDIA 0 .EXIT", "._Quit"})
        EXPECT_TRUE(script::endsSession(line)) << line;
    for (const char* line : {"", "_.SETVAR FILEDIA 0", "-LAYER _M EXIT", "EXITS", "(command \"_.QUIT\")", "._"})
        EXPECT_FALSE(script::endsSession(line)) << line;
}
