// Job files run by the built vendrel-run (and written out by vendrel-script) with a stand-in CAD program that
// records its scripts and saves the drawings it opens, as a CAD program would.

#include "supervise/journal.h"
#include "support/childprocess.h"
#include "support/readback.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

namespace {

using namespace std::chrono;
namespace fs = std::filesystem;

using Outcome = ChildOutcome;

class JobRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        writeFile(m_dir / "Jobb/Mallar/rensa.scr", "_.OPEN %f\r\n_.QSAVE\r\n");
        for (int i = 1; i <= 30; ++i)
            writeFile(m_dir / "Jobb/Ritningar/" + name(i), "dwg");
        writeFile(m_dir / "Jobb/Ritningar/läsmig.txt", "");
        standIn("");
        writeJob("");
    }

    static std::size_t count(const std::string& names)
    {
        return std::size_t(std::count(names.begin(), names.end(), ' '));
    }
    static std::string name(int i) { return (i < 10 ? "K0" : "K") + std::to_string(i) + ".dwg"; }
    // The stand-in records its script, saves the drawings in it, then does what it is told.
    void standIn(const std::string& then)
    {
        writeFile(m_dir / "cad/acad",
                  "#!/bin/sh\nfor a; do script=\"$a\"; done\ncat \"$script\" >> '" + m_dir / "record" +
                      "'\ngrep '^_.OPEN ' \"$script\" | cut -c8- | tr -d '\\r' | while IFS= read -r f; do touch "
                      "\"$f\"; done\n" +
                      then + "\nexit 0\n",
                  true);
    }
    void writeJob(const std::string& drawingKeys, const std::string& runKeys = "batch = 4\nsessions = 2\n")
    {
        writeFile(m_job, "version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"Ritningar\"\n" +
                             drawingKeys + "[cad]\nprogram = \"" + m_dir / "cad/acad" + "\"\n[run]\n" + runKeys);
    }

    pid_t start(std::vector<std::string> words)
    {
        const std::string err = m_dir / ("stderr" + std::to_string(++m_started));
        const pid_t pid = startChild(std::move(words), "", err);
        m_errors[pid] = err;
        return pid;
    }
    Outcome finish(pid_t pid) { return finishChild(pid, "", m_errors[pid]); }
    Outcome run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), VENDREL_RUN_PROGRAM);
        return finish(start(arguments));
    }
    Outcome runJob(const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments = {"--job", m_job};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return run(arguments);
    }

    std::vector<std::string> journals() const
    {
        std::vector<std::string> paths;
        for (const auto& entry : fs::directory_iterator(m_runs)) {
            if (entry.path().extension() == ".journal")
                paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static supervise::JournalContent contentOf(const std::string& journal)
    {
        supervise::JournalContent content;
        const auto read = readBack(journal, content);
        EXPECT_TRUE(read) << read.error();
        return content;
    }
    // The drawings the stand-in opened since the last call, by name, in order.
    std::string opened()
    {
        const std::string record = readFile(m_dir / "record");
        std::string names;
        for (std::size_t at = m_seen; (at = record.find("/Ritningar/", at)) != std::string::npos;) {
            at += 11;
            names += record.substr(at, record.find('\r', at) - at) + " ";
        }
        m_seen = record.size();
        return names;
    }

    TempFolder m_dir;
    std::string m_job = m_dir / "Jobb/natt.vjob";
    std::string m_runs = m_dir / "data/Brannoc/Vendrel/runs";
    std::map<pid_t, std::string> m_errors;
    int m_started = 0;
    std::size_t m_seen = 0;
};

// The job and the same run given by options end in the same journal: drawings, states, inputs and policy.
TEST_F(JobRun, AJobRunsAsTheSameRunGivenByOptions)
{
    standIn("case \"$(cat \"$script\")\" in *K07*|*K19*) exit 1;; esac");
    const Outcome byJob = runJob();
    EXPECT_EQ(byJob.exitCode, 1) << byJob.err;
    ASSERT_EQ(journals().size(), 1u);
    EXPECT_EQ(fs::path(journals()[0]).filename().string().rfind("natt-", 0), 0u);
    const supervise::JournalContent job = contentOf(journals()[0]);
    EXPECT_EQ(job.jobPath, m_job);

    std::vector<std::string> arguments = {"--cad",
                                          m_dir / "cad/acad",
                                          "--batch",
                                          "4",
                                          "--sessions",
                                          "2",
                                          "--journal",
                                          m_dir / "options.journal",
                                          m_dir / "Jobb/Mallar/rensa.scr",
                                          m_dir / "Jobb/Ritningar"};
    for (int i = 1; i <= 30; ++i)
        arguments.push_back(name(i));
    EXPECT_EQ(run(arguments).exitCode, 1);
    const supervise::JournalContent options = contentOf(m_dir / "options.journal");

    EXPECT_EQ(job.request.templatePath, options.request.templatePath);
    EXPECT_EQ(job.request.listingFolder, options.request.listingFolder);
    EXPECT_EQ(job.request.cad, options.request.cad);
    EXPECT_EQ(job.policy, options.policy);
    ASSERT_EQ(job.drawings.size(), 30u);
    ASSERT_EQ(options.drawings.size(), 30u);
    for (std::size_t i = 0; i < 30; ++i) {
        EXPECT_EQ(job.drawings[i].name, options.drawings[i].name);
        EXPECT_EQ(job.drawings[i].state, options.drawings[i].state) << job.drawings[i].name;
    }
    EXPECT_EQ(job.drawings[6].state, supervise::State::Failed);
}

// A drawing runs again once it was written after it was done (or was never done); the stand-in's own save in
// the run does not count.
TEST_F(JobRun, ChangedRunsTheDrawingsTouchedSinceTheirLastDone)
{
    writeJob("changed = true\n", "batch = 3\n");
    standIn("case \"$(cat \"$script\")\" in *K05*) exit 1;; esac");
    EXPECT_EQ(runJob().exitCode, 1);
    EXPECT_EQ(count(opened()), 30u);
    standIn("");
    std::this_thread::sleep_for(milliseconds(20));
    ::utime((m_dir / "Jobb/Ritningar/K03.dwg").c_str(), nullptr);
    const Outcome second = runJob();
    EXPECT_EQ(second.exitCode, 0) << second.err;
    // K05 failed its batch of three, which shares the batch's outcome without drawing marks.
    EXPECT_EQ(opened(), "K03.dwg K04.dwg K05.dwg K06.dwg ");
    EXPECT_NE(second.err.find("26 ritningar har inte ändrats"), std::string::npos) << second.err;

    std::this_thread::sleep_for(milliseconds(20));
    ::utime((m_dir / "Jobb/Ritningar/K11.dwg").c_str(), nullptr);
    ::utime((m_dir / "Jobb/Ritningar/K30.dwg").c_str(), nullptr);
    EXPECT_EQ(runJob().exitCode, 0);
    EXPECT_EQ(opened(), "K11.dwg K30.dwg ");
    const Outcome nothing = runJob();
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(opened(), "");
    EXPECT_NE(nothing.err.find("inget att köra"), std::string::npos) << nothing.err;
    EXPECT_EQ(journals().size(), 3u);
}

TEST_F(JobRun, BadJobsRunNothingAndWriteNothing)
{
    const std::string program = m_dir / "cad/acad";
    const std::string head = "version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"Ritningar\"\n";
    const std::string cad = "[cad]\nprogram = \"" + program + "\"\n";
    const struct
    {
        std::string text;
        int exitCode;
        std::string message;
    } cases[] = {
        {"version = 1\ntemplate = [\n", 2, "rad 2, kolumn 14: jobbfilen är inte giltig TOML"},
        {head + "filter = \"*.dwg\"\n" + cad, 2, "rad 5, kolumn 1: okänd nyckel drawings.filter"},
        {"version = 3\n" + head.substr(12) + cad, 2, "rad 1, kolumn 11: jobbfilen är skriven av en nyare Vendrel"},
        {head + "names = [\"../K01.dwg\"]\n" + cad, 2, "rad 5, kolumn 10: nyckeln drawings.names"},
        {head + cad + "[run]\nsessions = 0\n", 2, "rad 8, kolumn 12: nyckeln run.sessions"},
        {"\xFF\xFE" + head, 2, "UTF-16"},
        {"version = 1\ntemplate = \"Mallar/borta.scr\"\n[drawings]\nfolder = \"Ritningar\"\n" + cad, 1,
         "rad 2: Ingen scriptmall " + m_dir / "Jobb/Mallar/borta.scr"},
        {head + "[cad]\nprogram = \"borta.exe\"\n", 1, "rad 6: Hittar ej programmet " + m_dir / "Jobb/borta.exe"},
        {head + cad + "[run]\nsession_end = \"borta.scr\"\n", 1,
         "rad 8: Sessionsscriptet " + m_dir / "Jobb/borta.scr finns inte"},
        {"version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"/natt/share\"\n" + cad, 5,
         "rad 4: mappen /natt/share kan inte nås"},
    };
    for (const auto& c : cases) {
        writeFile(m_job, c.text);
        const Outcome outcome = runJob();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.text << outcome.err;
        EXPECT_NE(outcome.err.find("jobbfilen " + m_job), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(m_dir / "record"));
    EXPECT_TRUE(!fs::exists(m_runs) || journals().empty());
    EXPECT_EQ(run({"--job", m_job, m_dir / "Jobb/Mallar/rensa.scr"}).exitCode, 2);
    EXPECT_EQ(run({"--new"}).exitCode, 2);
}

// A second start while a run of the job goes on is refused; the run keeps the job it read, whatever is done to
// the file meanwhile.
TEST_F(JobRun, OneRunOfAJobAtATimeAndItKeepsWhatItRead)
{
    writeJob("names = [\"K01.dwg\", \"K02.dwg\", \"K03.dwg\"]\n", "batch = 1\n");
    standIn("sleep 0.3");
    const pid_t first = start({VENDREL_RUN_PROGRAM, "--job", m_job});
    ASSERT_TRUE(waitForFile(m_dir / "record"));
    writeJob("names = [\"K29.dwg\", \"K30.dwg\"]\n", "batch = 7\n");
    const Outcome second = runJob();
    EXPECT_EQ(second.exitCode, 4);
    EXPECT_NE(second.err.find("körs redan"), std::string::npos) << second.err;
    EXPECT_EQ(finish(first).exitCode, 0);
    EXPECT_EQ(opened(), "K01.dwg K02.dwg K03.dwg ");
    ASSERT_EQ(journals().size(), 1u);
    EXPECT_EQ(contentOf(journals()[0]).policy.batchSize, 1u);
}

// A run cut short is taken up by the next start of the job without a question; --new begins afresh.
TEST_F(JobRun, AnUnfinishedRunIsTakenUpAndNewBeginsAfresh)
{
    writeJob("", "batch = 2\ntimeout = 30\n");
    standIn("sleep 0.2");
    const pid_t first = start({VENDREL_RUN_PROGRAM, "--job", m_job});
    std::size_t seen = 0;
    for (int i = 0; i < 500 && seen < 6; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
        seen += count(opened());
    }
    ::kill(first, SIGTERM);
    EXPECT_EQ(finish(first).exitCode, 1);
    ASSERT_EQ(journals().size(), 1u);
    const std::string journal = journals()[0];
    std::size_t done = 0;
    for (const auto& entry : contentOf(journal).drawings)
        done += entry.state == supervise::State::Done;
    ASSERT_LT(done, 30u);
    opened();

    standIn("");
    const Outcome resumed = runJob({"--sessions", "3"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("tar upp jobbets senaste körning"), std::string::npos) << resumed.err;
    EXPECT_EQ(journals(), std::vector<std::string>{journal});
    const supervise::JournalContent content = contentOf(journal);
    EXPECT_EQ(content.policy.sessions, 3u);
    EXPECT_TRUE(std::all_of(content.drawings.begin(), content.drawings.end(),
                            [](const auto& entry) { return entry.state == supervise::State::Done; }));
    EXPECT_EQ(count(opened()), 30 - done); // the drawings done before are not opened again

    EXPECT_EQ(runJob().exitCode, 0);
    EXPECT_EQ(journals().size(), 2u); // the last run came to its end: a new one
    EXPECT_EQ(runJob({"--new"}).exitCode, 0);
    EXPECT_EQ(journals().size(), 3u);
}

TEST_F(JobRun, VendrelScriptWritesAndReviewsTheJobsScript)
{
    writeJob("names = [\"K02.dwg\", \"Saknas.dwg\"]\n");
    const std::string script = m_dir / "out.scr";
    const auto scriptOf = [&](std::vector<std::string> options) {
        options.insert(options.begin(), {VENDREL_SCRIPT_PROGRAM, "--job", m_job});
        return finish(start(options));
    };
    EXPECT_EQ(scriptOf({"--output", script}).exitCode, 0);
    EXPECT_EQ(readFile(script), "_.OPEN " + m_dir / "Jobb/Ritningar/K02.dwg\r\n_.QSAVE\r\n_.OPEN " +
                                    m_dir / "Jobb/Ritningar/Saknas.dwg\r\n_.QSAVE\r\n.EXIT\r\n");
    EXPECT_EQ(scriptOf({"--check"}).exitCode, 1); // Saknas.dwg is missing
    EXPECT_EQ(run({"--job", m_job, "--check"}).exitCode, 1);
    EXPECT_FALSE(fs::exists(m_dir / "record"));
    writeFile(m_job, "version = 1\n");
    EXPECT_EQ(scriptOf({}).exitCode, 2);
}

// The job's session scripts lie beside it; each session runs them around its drawings, the journal names them by
// their whole paths, and the options win over the job's (an empty one drops it).
TEST_F(JobRun, SessionScriptsComeFromTheJobsFolderAndTheOptionsWin)
{
    writeFile(m_dir / "Jobb/start.scr", "FILEDIA 0\r\n");
    writeFile(m_dir / "Jobb/slut.scr", "FILEDIA 1\n");
    writeJob("names = [\"K01.dwg\", \"K02.dwg\"]\n",
             "batch = 2\nsession_start = \"start.scr\"\nsession_end = \"slut.scr\"\n");
    const std::string folder = m_dir / "Jobb/Ritningar/";
    const std::string drawings =
        "_.OPEN " + folder + "K01.dwg\r\n_.QSAVE\r\n_.OPEN " + folder + "K02.dwg\r\n_.QSAVE\r\n";
    const Outcome outcome = runJob();
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(readFile(m_dir / "record"), "FILEDIA 0\r\n" + drawings + "FILEDIA 1\r\n.EXIT\r\n");
    const supervise::JournalContent content = contentOf(journals().back());
    EXPECT_EQ(content.policy.sessionStart, m_dir / "Jobb/start.scr");
    EXPECT_EQ(content.policy.sessionEnd, m_dir / "Jobb/slut.scr");

    fs::remove(m_dir / "record");
    EXPECT_EQ(runJob({"--session-end", "", "--session-start", m_dir / "Jobb/slut.scr"}).exitCode, 0);
    EXPECT_EQ(readFile(m_dir / "record"), "FILEDIA 1\r\n" + drawings + ".EXIT\r\n");

    // A session script that would end the session is an error of the review.
    const auto check = [&] { return finish(start({VENDREL_SCRIPT_PROGRAM, "--job", m_job, "--check"})).exitCode; };
    EXPECT_EQ(check(), 0);
    writeFile(m_dir / "Jobb/start.scr", "FILEDIA 0\r\n_.QUIT\r\n");
    EXPECT_EQ(check(), 1);
}

} // namespace
