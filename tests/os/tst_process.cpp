// Command-line splitting and detached process start with real programs.
#include "os/process.h"
#include "support/tempfolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, WordsAndQuotesAsAShellSplitsThem)
{
    const struct
    {
        const char* line;
        Words words;
    } cases[] = {
        {R"("/opt/cad/acad" "/opt/v/helvscr.dwg" /p Standard /b "/tmp/Vendrel.scr")",
         {"/opt/cad/acad", "/opt/v/helvscr.dwg", "/p", "Standard", "/b", "/tmp/Vendrel.scr"}},
        {R"("/a b/acad" "x"  /b "s")", {"/a b/acad", "x", "/b", "s"}},
        {"  a\t b  ", {"a", "b"}},
        {"", {}},
        {R"("" '')", {"", ""}},
        {R"(a"b c"d 'e f'g)", {"ab cd", "e fg"}},
        {R"('$HOME' "$HOME" ~ * ; | >x)", {"$HOME", "$HOME", "~", "*", ";", "|", ">x"}},
        {R"("C:\CAD\acad.exe" a\ b "q\"u\\o\te")", {R"(C:\CAD\acad.exe)", "a b", R"(q"u\o\te)"}},
        {R"('it\'s)", {R"(it\s)"}},
    };
    for (const auto& c : cases) {
        const auto words = process::splitCommandLine(c.line);
        ASSERT_TRUE(words) << c.line;
        EXPECT_EQ(*words, c.words) << c.line;
    }
    for (const char* open : {R"("a)", "'a", R"(a "b" "c)", "a\\"})
        EXPECT_FALSE(process::splitCommandLine(open)) << open;
}

class ProcessStart : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.valid()); }
    TempFolder m_dir;
};

TEST_F(ProcessStart, CommandLineReachesTheProgramAsItsWords)
{
    const std::string program = m_dir / "cad dir/stand-in";
    const std::string record = m_dir / "arguments";
    writeRecorder(program, record);
    const std::string line = "\"" + program + "\" \"$HOME\" /p 'x y'  /b \"" + m_dir.path() + "/a;b.scr\"";
    ASSERT_TRUE(process::startCommandLine(line, process::Show::Minimized));
    ASSERT_TRUE(waitForFile(record));
    EXPECT_EQ(readFile(record), "$HOME\n/p\nx y\n/b\n" + m_dir.path() + "/a;b.scr\n");
}

TEST_F(ProcessStart, ProgramsAreFoundOnPath)
{
    const std::string record = m_dir / "arguments";
    writeRecorder(m_dir / "bin/vendrel-stand-in", record);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (m_dir.path() + "/nothing:" + m_dir.path() + "/bin:" + oldPath).c_str(), 1);
    EXPECT_EQ(process::findExecutable("vendrel-stand-in"), m_dir / "bin/vendrel-stand-in");
    EXPECT_TRUE(process::startProgram({"vendrel-stand-in", "one two"}));
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(waitForFile(record));
    EXPECT_EQ(readFile(record), "one two\n");
}

// A command line's program is the file that was checked, not a namesake on PATH.
TEST_F(ProcessStart, ACommandLineNeverSearchesThePath)
{
    const std::string record = m_dir / "arguments";
    writeRecorder(m_dir / "bin/vendrel-stand-in", record);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (m_dir.path() + "/bin:" + oldPath).c_str(), 1);
    EXPECT_FALSE(process::startCommandLine("\"vendrel-stand-in\" x", process::Show::Minimized));
    setenv("PATH", oldPath.c_str(), 1);

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(m_dir / "bin");
    EXPECT_TRUE(process::startCommandLine("\"vendrel-stand-in\" here", process::Show::Minimized));
    std::filesystem::current_path(before);
    ASSERT_TRUE(waitForFile(record));
    EXPECT_EQ(readFile(record), "here\n");
}

TEST_F(ProcessStart, WhatCannotRunIsNotStarted)
{
    writeFile(m_dir / "plain", "#!/bin/sh\n");
    writeFile(m_dir / "broken", "not a program", true);
    EXPECT_FALSE(process::startProgram({m_dir / "missing"}));
    EXPECT_FALSE(process::startProgram({m_dir / "plain"}));
    EXPECT_FALSE(process::startProgram({m_dir / "broken"}));
    EXPECT_FALSE(process::startProgram({"vendrel-no-such-program"}));
    EXPECT_FALSE(process::startProgram({}));
    EXPECT_FALSE(process::startCommandLine("\"" + m_dir.path() + "/plain", process::Show::Normal));

    EXPECT_TRUE(process::isProgramFile(m_dir / "broken"));
    EXPECT_FALSE(process::isProgramFile(m_dir / "plain"));
    EXPECT_FALSE(process::isProgramFile(m_dir.path()));
}

} // namespace
