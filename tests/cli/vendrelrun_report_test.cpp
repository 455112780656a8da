// vendrel-run's report: written beside the journal at the end of a run without ever changing its exit status,
// and made again by --report from one journal or several.

#include "support/childprocess.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using Outcome = ChildOutcome;

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class VendrelRunReport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        writeFile(m_dir / "mall.scr", "_.OPEN %f\r\n");
        for (const char* name : {"K01.dwg", "K02.dwg", "K03.dwg"})
            writeFile(m_dir / "ritningar/" + name, "dwg");
        writeFile(m_dir / "acad",
                  "#!/bin/sh\nfor a; do s=\"$a\"; done\ncase \"$(cat \"$s\")\" in *K02*) exit 3;; esac\n", true);
    }

    Outcome run(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> words = {VENDREL_RUN_PROGRAM};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return finishChild(startChild(words, m_dir / "stdout", m_dir / "stderr"), m_dir / "stdout", m_dir / "stderr");
    }
    Outcome runTo(const std::string& journal)
    {
        return run({"--cad", m_dir / "acad", "--start-drawing", m_dir / "mall.scr", "--sessions", "2", "--journal",
                    journal, m_dir / "mall.scr", m_dir / "ritningar", "K01.dwg", "K02.dwg", "K03.dwg"});
    }

    TempFolder m_dir;
};

TEST_F(VendrelRunReport, ARunWritesItsReportAndOneThatCannotBeWrittenLeavesTheExitStatus)
{
    const Outcome written = runTo(m_dir / "natt.journal");
    EXPECT_EQ(written.exitCode, 1) << written.err; // K02 failed
    EXPECT_NE(written.err.find("rapport: " + m_dir / "natt.html"), std::string::npos) << written.err;
    EXPECT_NE(readFile(m_dir / "natt.html").find("K02.dwg"), std::string::npos);
    EXPECT_EQ(occurrences(readFile(m_dir / "natt.csv"), "\r\n"), 4u);

    // A folder where the page should go: the run is the same, the report's failure said once.
    std::filesystem::create_directories(m_dir / "stängd.html");
    const Outcome refused = runTo(m_dir / "stängd.journal");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(occurrences(refused.err, "stängd.html kan inte skrivas"), 1u) << refused.err;
    EXPECT_EQ(occurrences(refused.err, "rapport"), 1u) << refused.err;
}

TEST_F(VendrelRunReport, ReportMakesOneReportOfSeveralJournalsOrSaysWhyNot)
{
    ASSERT_EQ(runTo(m_dir / "a.journal").exitCode, 1);
    ASSERT_EQ(runTo(m_dir / "b.journal").exitCode, 1);
    std::filesystem::remove(m_dir / "a.html");

    const Outcome beside = run({"--report", m_dir / "a.journal", m_dir / "b.journal"});
    EXPECT_EQ(beside.exitCode, 0) << beside.err;
    EXPECT_EQ(beside.out, m_dir / "a.html\n" + m_dir / "a.csv\n");
    const std::string page = readFile(m_dir / "a.html");
    EXPECT_NE(page.find("b.journal · Session 2"), std::string::npos);
    EXPECT_EQ(occurrences(page, "class=\"lane\""), 4u * 2); // a group and its background per lane

    const Outcome elsewhere = run({"--report", m_dir / "a.journal", "--output", m_dir / "alla"});
    EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.err;
    EXPECT_TRUE(std::filesystem::exists(m_dir / "alla.csv"));

    const Outcome missing = run({"--report", m_dir / "a.journal", m_dir / "ingen.journal"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("ingen.journal kan inte läsas"), std::string::npos) << missing.err;
    EXPECT_EQ(run({"--report"}).exitCode, 2);
    EXPECT_EQ(run({"--report", m_dir / "a.journal", "--batch", "2"}).exitCode, 2);
    EXPECT_EQ(run({"--status", m_dir / "a.journal", "--output", m_dir / "x"}).exitCode, 2);
}

} // namespace
