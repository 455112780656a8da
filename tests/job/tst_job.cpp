// Job files: what the writer writes the reader reads back, every bad file refused at its line, paths from the
// job's own folder.
#include "job/job.h"
#include "support/tempdir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

job::Job everyKeySet()
{
    job::Job job;
    job.templatePath = "Mallar/rensa \"nya\".scr";
    job.drawings.folder = "C:\\Ritningar\\Hus å ä ö";
    job.drawings.pattern = "*.dwg; K?1*.dxf";
    job.drawings.subfolders = true;
    job.drawings.names = {"K01.dwg", "Plan 100%mod.dwg", "sub/Fasad öst.dwg", "'enkel' \\ \"dubbel\".dwg"};
    job.drawings.changed = true;
    job.cad.path = "C:/Program Files/CAD/cad.exe";
    job.cad.parameters = "/p \"Mitt std\"";
    job.cad.startDrawing = "../start.dwg";
    job.policy.batchSize = 25;
    job.policy.timeout = 250ms;
    job.policy.sessions = 4;
    job.policy.marks = supervise::MarksChoice::Off;
    job.policy.form = supervise::CommandForm::Console;
    job.runsFolder = "\\\\server\\vendrel\\natt";
    job.policy.sessionStart = "Mallar/obevakad start å.scr";
    job.policy.sessionEnd = "C:\\Mallar\\slut.scr";
    return job;
}

std::string problemOf(std::string_view text)
{
    const auto parsed = job::parseJob(text);
    if (parsed)
        return "read";
    const job::JobProblem& problem = parsed.error();
    return std::to_string(problem.line) + ":" + problem.message;
}

constexpr std::string_view minimal = "version = 1\ntemplate = \"m.scr\"\n[drawings]\nfolder = \"R\"\n[cad]\n"
                                     "program = \"cad.exe\"\n";

TEST(JobFile, EveryKeyReadsBackAsWritten)
{
    job::Job fewest;
    fewest.templatePath = "m.scr";
    fewest.drawings.folder = "R";
    fewest.cad.path = "cad.exe";
    for (const job::Job& written : {everyKeySet(), fewest}) {
        const std::string text = job::jobText(written);
        const auto read = job::parseJob(text);
        ASSERT_TRUE(read) << job::problemText(read.error(), "text") << "\n" << text;
        EXPECT_EQ(*read, written) << text;
    }
    // The keys that are left out take the defaults of the window and the run policy.
    const auto read = job::parseJob(minimal);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->drawings.pattern, "*.dwg");
    EXPECT_FALSE(read->drawings.subfolders || read->drawings.changed);
    EXPECT_EQ(read->policy, supervise::RunPolicy{});
}

TEST(JobFile, TheDocumentedExampleReads)
{
    const auto read = job::parseJob(R"(version = 1
template = "Mallar/rensa.scr"        # a comment
[drawings]
folder = "Ritningar"
pattern = "*.dwg"
subfolders = false
names = []
changed = false
[cad]
program = "C:/Program Files/CAD/cad.exe"
parameters = ""
start_drawing = ""
[run]
batch = 10
timeout = 600
sessions = 4
marks = "auto"
form = "auto"
session_start = "obevakad-start.scr" # run by each CAD session before its first drawing; empty: none
session_end = "obevakad-slut.scr"
)");
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(read->templatePath, "Mallar/rensa.scr");
    EXPECT_EQ(read->policy.batchSize, 10u);
    EXPECT_EQ(read->policy.timeout, 600s);
    EXPECT_EQ(read->policy.sessions, 4u);
    EXPECT_FALSE(read->policy.form);
    EXPECT_EQ(read->policy.sessionStart, "obevakad-start.scr");
    EXPECT_EQ(read->policy.sessionEnd, "obevakad-slut.scr");
}

TEST(JobFile, BadFilesAreRefusedAtTheirLine)
{
    const std::string head = "version = 1\ntemplate = \"m.scr\"\n";
    const std::string drawings = "[drawings]\nfolder = \"R\"\n";
    const std::string cad = "[cad]\nprogram = \"cad.exe\"\n";
    const std::string valid = head + drawings + cad;
    const struct
    {
        std::string text;
        std::string problem;
    } cases[] = {
        {"version = 1\ntemplate = \n", "2:jobbfilen är inte giltig TOML"},
        {valid + "[run]\nbatch = 10\nbatch = 11\n", "9:jobbfilen är inte giltig TOML"},
        {head + drawings + "foo = 1\n" + cad, "5:okänd nyckel drawings.foo"},
        {valid + "[extra]\nx = 1\n", "7:okänd tabell [extra]"},
        {"version = 1\n" + drawings + "template = \"m.scr\"\n" + cad,
         "4:okänd nyckel drawings.template (den hör till filens början"},
        {valid + "[run]\nbatch = \"10\"\n", "8:nyckeln run.batch väntar sig ett heltal från 1 till 1000, inte \"10\""},
        {valid + "[run]\nbatch = 0\n", "8:nyckeln run.batch väntar sig ett heltal från 1 till 1000, inte 0"},
        {valid + "[run]\nsessions = 65\n", "8:nyckeln run.sessions väntar sig ett heltal från 1 till 64, inte 65"},
        {valid + "[run]\ntimeout = 0.01\n", "8:nyckeln run.timeout väntar sig ett antal sekunder från 0.1 till 86400"},
        {valid + "[run]\ntimeout = \"600\"\n", "8:nyckeln run.timeout väntar sig ett antal sekunder"},
        {valid + "[run]\nmarks = \"ja\"\n", "8:nyckeln run.marks väntar sig on, off eller auto, inte \"ja\""},
        {valid + "[run]\nform = true\n", "8:nyckeln run.form väntar sig standard, console eller auto, inte true"},
        {valid + "[run]\nsession_start = 1\n", "8:nyckeln run.session_start väntar sig en text inom citattecken"},
        {valid + "[run]\nsession_end = \"a\\nb\"\n", "8:nyckeln run.session_end innehåller en radbrytning"},
        {head + "[drawings]\nfolder = \"R\"\nsubfolders = \"ja\"\n" + cad,
         "5:nyckeln drawings.subfolders väntar sig true"},
        {head + "drawings = 3\n" + cad, "3:nyckeln drawings väntar sig en tabell, inte 3"},
        {"version = 2\nwhatever = 1\n", "1:jobbfilen är skriven av en nyare Vendrel (version 2)"},
        {"version = 0\n", "1:nyckeln version väntar sig 1, inte 0"},
        {"template = \"m.scr\"\n", "0:nyckeln version saknas"},
        {"version = 1\n" + drawings + cad, "0:nyckeln template saknas"},
        {head + drawings + "[cad]\nparameters = \"\"\n", "5:nyckeln cad.program saknas"},
        {head + cad, "0:tabellen [drawings] saknas"},
        {head + "[drawings]\nfolder = \"\"\n" + cad, "4:nyckeln drawings.folder är tom"},
        {"version = 1\ntemplate = \"m\\n.scr\"\n" + drawings + cad, "2:nyckeln template innehåller en radbrytning"},
        {head + drawings + "names = [\"a.dwg\",\n  \"../b.dwg\"]\n" + cad,
         "6:nyckeln drawings.names: namnet \"../b.dwg\" går utanför"},
        {head + drawings + "names = [\"a/../../b.dwg\"]\n" + cad,
         "5:nyckeln drawings.names: namnet \"a/../../b.dwg\" går utanför"},
        {head + drawings + "names = [\"/etc/b.dwg\"]\n" + cad,
         "5:nyckeln drawings.names: namnet \"/etc/b.dwg\" är en hel sökväg"},
        {head + drawings + "names = ['C:\\b.dwg']\n" + cad,
         "5:nyckeln drawings.names: namnet \"C:\\b.dwg\" är en hel sökväg"},
        {head + drawings + "names = [\"\"]\n" + cad, "5:nyckeln drawings.names: namnet \"\" är tomt"},
        {head + drawings + "names = [\"a.dwg\", 3]\n" + cad,
         "5:nyckeln drawings.names väntar sig namn inom citattecken"},
        {"\xFF\xFEv\0e\0r\0", "0:jobbfilen är sparad som UTF-16; spara den som UTF-8"},
        {std::string("v\0e\0r\0", 6), "1:jobbfilen innehåller NUL-tecken"},
        {"version = 1\ntemplate = \"\xFF\"\n", "2:jobbfilen är inte giltig TOML"},
    };
    for (const auto& c : cases) {
        const std::string problem = problemOf(c.text);
        EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem) << c.text;
    }
    EXPECT_EQ(problemOf(valid), "read");
    EXPECT_EQ(problemOf("\xEF\xBB\xBF" + valid), "read"); // a byte-order mark is no fault
    // The column where the fault begins.
    const auto parsed = job::parseJob(valid + "[run]\nbatch =   0\n");
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().column, 11u);
    EXPECT_EQ(job::problemText(parsed.error(), "natt.vjob").substr(0, 27), "natt.vjob, rad 8, kolumn 11");
}

TEST(JobFile, AHundredThousandNamesAreWrittenAndReadQuickly)
{
    TempDir dir;
    job::Job job = everyKeySet();
    job.drawings.names.clear();
    for (int i = 0; i < 100000; ++i)
        job.drawings.names.push_back("sub " + std::to_string(i % 100) + "/K" + std::to_string(i) + " plan.dwg");
    const auto before = std::chrono::steady_clock::now();
    const std::string path = dir.file("stor.vjob");
    ASSERT_TRUE(job::writeJob(path, job));
    const auto read = job::readJob(path);
    const auto spent = std::chrono::steady_clock::now() - before;
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, job);
    EXPECT_LT(spent, 3s);
}

TEST(JobFile, WritingReplacesTheFileOrLeavesItAsItWas)
{
    TempDir dir;
    const std::string path = dir.file("natt.vjob");
    writeBytes(path, "earlier");
    job::Job job = everyKeySet();
    ASSERT_TRUE(job::writeJob(path, job));
    EXPECT_EQ(readBytes(path), job::jobText(job));

    job.drawings.names.push_back("../utanför.dwg");
    const auto refused = job::writeJob(path, job);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("går utanför mappen"), std::string::npos) << refused.error();
    job.drawings.names.pop_back();
    EXPECT_EQ(readBytes(path), job::jobText(job));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// Relative paths follow the job file: a folder of jobs, templates and drawings moved elsewhere still runs.
TEST(JobFile, RelativePathsFollowTheJobsFolder)
{
    TempDir dir;
    const fs::path first = dir.path() / "Jobb";
    fs::create_directories(first / "Mallar");
    fs::create_directories(first / "Ritningar");
    writeBytes((first / "Mallar" / "rensa.scr").string(), "_.OPEN %f\r\n");
    job::Job job;
    job.templatePath = "Mallar/rensa.scr";
    job.drawings.folder = "Ritningar";
    job.cad.path = (dir.path() / "cad.exe").string();
    job.cad.startDrawing = "../start.dwg";
    ASSERT_TRUE(job::writeJob((first / "natt.vjob").string(), job));

    const fs::path moved = dir.path() / "Flyttat" / "Jobb";
    fs::create_directories(moved.parent_path());
    fs::rename(first, moved);
    const std::string jobPath = (moved / "natt.vjob").string();
    const auto read = job::readJob(jobPath);
    ASSERT_TRUE(read);
    const auto templatePath = job::resolvedPath(jobPath, read->templatePath);
    const auto folder = job::resolvedPath(jobPath, read->drawings.folder);
    const auto program = job::resolvedPath(jobPath, read->cad.path);
    const auto start = job::resolvedPath(jobPath, read->cad.startDrawing);
    ASSERT_TRUE(templatePath && folder && program && start);
    EXPECT_EQ(*templatePath, (moved / "Mallar" / "rensa.scr").make_preferred().string());
    EXPECT_TRUE(fs::is_regular_file(*templatePath));
    EXPECT_EQ(*folder, (moved / "Ritningar").make_preferred().string());
    EXPECT_EQ(*program, (dir.path() / "cad.exe").make_preferred().string()); // whole paths stay
    EXPECT_EQ(*start, (dir.path() / "Flyttat" / "start.dwg").make_preferred().string());
}

} // namespace
