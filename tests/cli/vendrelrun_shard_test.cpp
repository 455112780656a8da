// A job split into parts, run by the built vendrel-run side by side against one runs folder, with a stand-in CAD
// program written as a shell script that records the drawings it opens.

#include "job/shard.h"
#include "supervise/journal.h"
#include "support/childprocess.h"
#include "support/readback.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono;
namespace fs = std::filesystem;

using Outcome = ChildOutcome;

class ShardRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        writeFile(m_dir / "Jobb/rensa.scr", "_.OPEN %f\r\n_.QSAVE\r\n");
        for (int i = 1; i <= 90; ++i)
            writeFile(m_dir / "Jobb/Ritningar/" + name(i), "dwg");
        fs::create_directories(m_runs);
        standIn("");
        writeJob(m_job, "Ritningar");
    }

    static std::string name(int i) { return (i < 10 ? "K0" : "K") + std::to_string(i) + ".dwg"; }
    // The stand-in records each drawing of its script as it opens it, then does what it is told.
    void standIn(const std::string& then)
    {
        writeFile(m_dir / "cad/acad",
                  "#!/bin/sh\nfor a; do script=\"$a\"; done\ngrep '^_.OPEN ' \"$script\" | cut -c8- | tr -d '\\r' | "
                  "while IFS= read -r f; do echo \"${f##*/}\" >> '" +
                      m_dir / "record" + "'; done\n" + then + "\nexit 0\n",
                  true);
    }
    void writeJob(const std::string& path, const std::string& folder, const std::string& runs = "")
    {
        writeFile(path, "version = 1\ntemplate = \"" + m_dir / "Jobb/rensa.scr" + "\"\n[drawings]\nfolder = \"" +
                            folder + "\"\n[cad]\nprogram = \"" + m_dir / "cad/acad" +
                            "\"\n[run]\nbatch = 1\nruns = \"" + (runs.empty() ? m_runs : runs) + "\"\n");
    }

    pid_t start(std::vector<std::string> words)
    {
        words.insert(words.begin(), VENDREL_RUN_PROGRAM);
        return startProgram(words);
    }
    pid_t startProgram(std::vector<std::string> words)
    {
        const std::string files = m_dir / ("output" + std::to_string(++m_started));
        const pid_t pid = startChild(std::move(words), files + ".out", files + ".err");
        m_files[pid] = files;
        return pid;
    }
    Outcome finish(pid_t pid) { return finishChild(pid, m_files[pid] + ".out", m_files[pid] + ".err"); }
    Outcome run(const std::vector<std::string>& words) { return finish(start(words)); }
    Outcome part(std::size_t index, std::size_t count = 3)
    {
        return run({"--job", m_job, "--shard", std::to_string(index) + "/" + std::to_string(count)});
    }

    std::vector<std::string> journals(const std::string& prefix = "natt-") const
    {
        std::vector<std::string> paths;
        for (const auto& entry : fs::directory_iterator(m_runs)) {
            const std::string file = entry.path().filename().string();
            if (file.starts_with(prefix) && file.ends_with(".journal"))
                paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static std::size_t doneIn(const std::string& journal)
    {
        supervise::JournalContent content;
        if (!readBack(journal, content))
            return 0;
        return std::size_t(std::count_if(content.drawings.begin(), content.drawings.end(),
                                         [](const auto& entry) { return entry.state == supervise::State::Done; }));
    }
    // How often each drawing was opened since the last call.
    std::map<std::string, int> opened()
    {
        const std::string record = readFile(m_dir / "record");
        std::map<std::string, int> times;
        for (std::size_t at = m_seen; at < record.size();) {
            const std::size_t end = record.find('\n', at);
            ++times[record.substr(at, end - at)];
            at = end + 1;
        }
        m_seen = record.size();
        return times;
    }
    // The --status table of the job as a map from name to state; every name must appear once.
    std::map<std::string, std::string> table(const std::string& out)
    {
        std::map<std::string, std::string> states;
        for (std::size_t at = 0; at < out.size();) {
            const std::size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            const std::size_t tab = line.find('\t');
            EXPECT_TRUE(states.emplace(line.substr(tab + 1), line.substr(0, tab)).second) << "twice: " << line;
            at = end + 1;
        }
        return states;
    }

    TempFolder m_dir;
    std::string m_job = m_dir / "Jobb/natt.vjob";
    std::string m_runs = m_dir / "runs";
    std::map<pid_t, std::string> m_files;
    int m_started = 0;
    std::size_t m_seen = 0;
};

// Three parts side by side over 90 drawings; one is killed in the middle and started again: it takes up its own
// journal, and the job ends with every drawing done once, in one account.
TEST_F(ShardRun, ThreePartsSideBySideOneKilledAndStartedAgain)
{
    standIn("sleep 0.05");
    std::vector<pid_t> parts;
    for (std::size_t index = 0; index < 3; ++index)
        parts.push_back(start({"--job", m_job, "--shard", std::to_string(index) + "/3"}));
    std::string killed;
    for (int i = 0; i < 1000 && killed.empty(); ++i) {
        std::this_thread::sleep_for(milliseconds(10));
        const auto found = journals("natt-del1av3-");
        if (!found.empty() && doneIn(found[0]) >= 5)
            killed = found[0];
    }
    ASSERT_FALSE(killed.empty());
    ::kill(parts[1], SIGKILL);
    EXPECT_EQ(finish(parts[1]).exitCode, 128 + SIGKILL);
    EXPECT_LT(doneIn(killed), 25u);
    const Outcome again = part(1);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("tar upp del 1 av 3 av jobbet"), std::string::npos) << again.err;
    for (const std::size_t index : {0u, 2u}) {
        const Outcome outcome = finish(parts[index]);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    }
    const auto all = journals();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1], killed);

    // Only the drawing in progress at the kill ran twice.
    const auto times = opened();
    EXPECT_EQ(times.size(), 90u);
    EXPECT_LE(std::count_if(times.begin(), times.end(), [](const auto& entry) { return entry.second > 1; }), 1);

    const Outcome status = run({"--status", "--job", m_job});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    const auto states = table(status.out);
    EXPECT_EQ(states.size(), 90u);
    EXPECT_TRUE(std::all_of(states.begin(), states.end(), [](const auto& entry) { return entry.second == "done"; }));
    EXPECT_NE(status.err.find("90 ritningar i 3 delar: done 90"), std::string::npos) << status.err;

    // One report of all the parts: a row per drawing, and each part's lanes named by its part.
    const Outcome report = run({"--report", "--job", m_job});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const std::string csv = readFile(m_runs + "/natt.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 91); // and the heading
    const std::string html = readFile(m_runs + "/natt.html");
    for (const char* part : {"del 0 av 3", "del 1 av 3", "del 2 av 3"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
}

// --status and --retry of a job speak for its parts' latest journals, and never for another job's.
TEST_F(ShardRun, StatusAndRetryOverTheParts)
{
    standIn("case \"$(cat \"$script\")\" in *K07*|*K50*|*K77*) exit 1;; esac");
    for (std::size_t index = 0; index < 3; ++index)
        EXPECT_LE(part(index).exitCode, 1); // 1 where one of the three failed
    // Another job of the same name, in another folder, with its journals in the same runs folder.
    writeFile(m_dir / "Annat/Ritningar/X1.dwg", "dwg");
    writeJob(m_dir / "Annat/natt.vjob", "Ritningar");
    EXPECT_EQ(run({"--job", m_dir / "Annat/natt.vjob", "--shard", "0/1"}).exitCode, 0);
    EXPECT_EQ(journals().size(), 4u);
    opened();

    Outcome status = run({"--status", "--job", m_job});
    EXPECT_EQ(status.exitCode, 1);
    auto states = table(status.out);
    EXPECT_EQ(states.size(), 90u);
    EXPECT_EQ(states["K07.dwg"], "failed");
    EXPECT_EQ(states["K50.dwg"], "failed");
    EXPECT_NE(status.err.find("90 ritningar i 3 delar: done 87, failed 3"), std::string::npos) << status.err;
    const std::size_t of07 = job::shardOf("K07.dwg", 3);
    status = run({"--status", "--job", m_job, "--shard", std::to_string(of07) + "/3"});
    states = table(status.out);
    std::size_t inPart = 0;
    for (int i = 1; i <= 90; ++i)
        inPart += job::shardOf(name(i), 3) == of07;
    EXPECT_EQ(states.size(), inPart);
    EXPECT_EQ(states["K07.dwg"], "failed");

    standIn("");
    const Outcome retried = run({"--retry", "--job", m_job});
    EXPECT_EQ(retried.exitCode, 0) << retried.err;
    EXPECT_EQ(opened(), (std::map<std::string, int>{{"K07.dwg", 1}, {"K50.dwg", 1}, {"K77.dwg", 1}}));
    EXPECT_EQ(journals().size(), 4u); // each in its own part's journal
    status = run({"--status", "--job", m_job});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_EQ(table(status.out).size(), 90u);
}

TEST_F(ShardRun, BadInputIsRefusedBeforeAnythingRuns)
{
    const struct
    {
        std::vector<std::string> words;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"--job", m_job, "--shard", "3/3"}, 2, "--shard väntar sig en del från 0 till 2 (delarna räknas från 0)"},
        {{"--job", m_job, "--shard", "0/0"}, 2, "minst en del"},
        {{"--job", m_job, "--shard", "-1/3"}, 2, "K/N"},
        {{"--job", m_job, "--shard", "ett/tre"}, 2, "K/N"},
        {{"--shard", "0/3"}, 2, "hör till --job"},
        {{"--job", m_job, "--condor", "0"}, 2, "--condor väntar sig antalet delar"},
        {{"--job", m_job, "--condor", "3", "--shard", "0/2"}, 2, "delar jobbet olika"},
        {{"--job", m_job, "--shard", "0/3", "--journal", m_dir / "j.journal"}, 2, "--journal går inte"},
        {{"--status", "--job", m_job, "--batch", "2"}, 2, "--status --job tar bara"},
        {{"--resume", "--job", m_job}, 2, "--resume behövs inte"},
        {{"--job", m_job, "--shard", "0/3", "--runs", m_dir / "borta"}, 5, "journalmappen " + m_dir / "borta"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(c.words);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.words.back() << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    if (::geteuid() != 0) { // root writes anywhere
        fs::permissions(m_runs, fs::perms::owner_read | fs::perms::owner_exec);
        const Outcome outcome = part(0);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_NE(outcome.err.find("kan inte tas"), std::string::npos) << outcome.err;
        fs::permissions(m_runs, fs::perms::owner_all);
    }
    EXPECT_FALSE(fs::exists(m_dir / "record"));
    EXPECT_TRUE(journals().empty());
}

// One process a part; a run split otherwise waits for the unfinished one, unless --new says to begin afresh; a
// part with none of the job's drawings is done at once.
TEST_F(ShardRun, PartsOfOneSplitAtATime)
{
    standIn("sleep 0.2");
    const pid_t first = start({"--job", m_job, "--shard", "0/3"});
    ASSERT_TRUE(waitForFile(m_dir / "record"));
    Outcome second = part(0);
    EXPECT_EQ(second.exitCode, 4);
    EXPECT_NE(second.err.find("del 0 av jobbet " + m_job + " körs redan"), std::string::npos) << second.err;
    ::kill(first, SIGKILL);
    finish(first);

    for (const std::vector<std::string>& other :
         {std::vector<std::string>{"--job", m_job, "--shard", "0/2"}, std::vector<std::string>{"--job", m_job}}) {
        const Outcome refused = run(other);
        EXPECT_EQ(refused.exitCode, 4) << refused.err;
        EXPECT_NE(refused.err.find("delad i 3 delar och har ritningar kvar"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(journals().size(), 1u);
    standIn("");
    EXPECT_EQ(run({"--job", m_job, "--shard", "1/2", "--new"}).exitCode, 0);

    // 90 drawings in 1000 parts: most parts have none.
    std::set<std::size_t> used;
    for (int i = 1; i <= 90; ++i)
        used.insert(job::shardOf(name(i), 1000));
    std::size_t empty = 0;
    while (used.count(empty))
        ++empty;
    opened();
    const Outcome nothing = part(empty, 1000);
    EXPECT_EQ(nothing.exitCode, 0) << nothing.err;
    EXPECT_NE(nothing.err.find("har ingen av jobbets 90 ritningar"), std::string::npos) << nothing.err;
    EXPECT_TRUE(opened().empty());
    const Outcome status = run({"--status", "--job", m_job, "--shard", std::to_string(empty) + "/1000"});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_EQ(status.out, "");
}

TEST_F(ShardRun, TheSubmitDescriptionNeedsAnInstalledProgram)
{
    const Outcome fromBuild = run({"--job", m_job, "--condor", "3"});
    EXPECT_EQ(fromBuild.exitCode, 1);
    EXPECT_NE(fromBuild.err.find("byggmappen"), std::string::npos) << fromBuild.err;
    EXPECT_EQ(fromBuild.out, "");

    const std::string installed = m_dir / "bin/vendrel-run";
    fs::create_directories(m_dir / "bin");
    fs::copy_file(VENDREL_RUN_PROGRAM, installed);
    writeFile(m_dir / "Jobb/utan.vjob", readFile(m_job).substr(0, readFile(m_job).find("runs =")));
    const Outcome written = finish(startProgram(
        {installed, "--job", m_dir / "Jobb/utan.vjob", "--condor", "3", "--requirements", "OpSys == \"WINDOWS\""}));
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_NE(written.out.find("\nexecutable              = " + installed + "\n"), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("--shard $(Process)/3"), std::string::npos) << written.out;
    EXPECT_NE(written.out.find("\nrequirements            = OpSys == \"WINDOWS\"\n"), std::string::npos);
    EXPECT_TRUE(written.out.ends_with("\nqueue 3\n")) << written.out;
    EXPECT_NE(written.err.find("varning: jobbet har ingen journalmapp"), std::string::npos) << written.err;
}

} // namespace
