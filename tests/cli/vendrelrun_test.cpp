// Runs the built vendrel-run with stand-in CAD programs (shell scripts that record their script, then
// succeed, hang, crash, fail or leave a child running) as a user would, kills included.

#include "cli/textwidth.h"
#include "supervise/journal.h"
#include "support/childprocess.h"
#include "support/readback.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono;

using Outcome = ChildOutcome;

class VendrelRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        writeFile(m_dir / "Öppna.scr", "_.OPEN %f\r\n_.QSAVE ; %name\r\n");
        for (const std::string& name : m_names)
            writeFile(m_dir / "ritningar/" + name, "dwg");
        standIn({});
    }

    // The stand-in: records its script, then behaves as told for the first drawing name it finds in it. first
    // comes before anything else it does.
    void standIn(const std::vector<std::pair<std::string, std::string>>& behaviour, const std::string& rest = "",
                 const std::string& first = "")
    {
        std::string body = "#!/bin/sh\n" + first + "\nfor a; do script=\"$a\"; done\necho $$ >> '" + m_dir / "pids" +
                           "'\ncat \"$script\" >> '" + m_dir / "record" + "'\ncase \"$(cat \"$script\")\" in\n";
        for (const auto& [name, action] : behaviour)
            body += "  *" + name + "*) " + action + ";;\n";
        body += "esac\n" + rest + "exit 0\n";
        writeFile(m_dir / "cad/acad", body, true);
    }
    static std::string hang(const std::string& pids) { return "sleep 60 & echo $! >> '" + pids + "'; sleep 60"; }
    // A grandchild in a session of its own, whose parent is gone: recorded in pids once it runs.
    std::string escape() const
    {
        const std::string mark = m_dir / "escaped";
        return "(setsid sh -c \"echo \\$\\$ > '" + mark + ".part'; mv '" + mark + ".part' '" + mark +
               "'; exec sleep 60\" &); while [ ! -e '" + mark + "' ]; do sleep 0.01; done; cat '" + mark +
               "' >> '" + m_dir / "pids" + "'; rm '" + mark + "'";
    }
    static bool running(const std::string& pid)
    {
        const std::string stat = readFile("/proc/" + pid + "/stat");
        return !stat.empty() && stat.find(") Z") == std::string::npos;
    }

    // Starts vendrel-run; before runs in the child just before the program starts.
    pid_t start(const std::vector<std::string>& arguments, const std::function<void()>& before = {})
    {
        std::vector<std::string> words = {VENDREL_RUN_PROGRAM};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return startChild(words, m_dir / "stdout", m_dir / "stderr", before);
    }
    Outcome finish(pid_t pid) { return finishChild(pid, m_dir / "stdout", m_dir / "stderr"); }
    Outcome run(const std::vector<std::string>& arguments, const std::function<void()>& before = {})
    {
        return finish(start(arguments, before));
    }
    std::vector<std::string> newRun(const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments = {"--cad", m_dir / "cad/acad", "--journal", m_journal};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {m_dir / "Öppna.scr", m_dir / "ritningar"});
        arguments.insert(arguments.end(), m_names.begin(), m_names.end());
        return arguments;
    }
    // The drawings the stand-in was given, in order, over all its sessions.
    std::string opened() const
    {
        std::string names;
        const std::string record = readFile(m_dir / "record");
        for (std::size_t at = 0; (at = record.find("/ritningar/", at)) != std::string::npos;) {
            at += 11;
            names += record.substr(at, record.find('\r', at) - at) + " ";
        }
        return names;
    }
    std::string status() { return status(m_journal); }
    std::string status(const std::string& journal)
    {
        const Outcome outcome = run({"--status", journal});
        std::string states;
        for (std::size_t at = 0; at < outcome.out.size(); at = outcome.out.find('\n', at) + 1)
            states += outcome.out.substr(at, outcome.out.find('\t', at) - at) + " ";
        return states;
    }
    // Every process the stand-ins started is gone (or a zombie nobody here can reap).
    bool noStandInLeft() const
    {
        const std::string pids = readFile(m_dir / "pids");
        for (std::size_t at = 0; at < pids.size(); at = pids.find('\n', at) + 1) {
            const std::string pid = pids.substr(at, pids.find('\n', at) - at);
            for (int i = 0; i < 100; ++i) {
                const std::string stat = readFile("/proc/" + pid + "/stat");
                if (stat.empty() || stat.find(") Z") != std::string::npos)
                    break;
                if (i == 99)
                    return false;
                std::this_thread::sleep_for(milliseconds(10));
            }
        }
        return true;
    }

    TempFolder m_dir;
    std::string m_journal = m_dir / "run.journal";
    std::vector<std::string> m_names = {"K01.dwg", "K02.dwg", "K03.dwg", "K04.dwg", "K05.dwg", "K06.dwg"};
};

TEST_F(VendrelRun, HangAndCrashAreToldApartAndRetryRunsExactlyThose)
{
    standIn({{"K02", hang(m_dir / "pids")}, {"K04", "kill -SEGV $$"}});
    const auto before = steady_clock::now();
    const Outcome outcome = run(newRun({"--timeout", "0.3"}));
    EXPECT_LT(steady_clock::now() - before, seconds(10));
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_EQ(status(), "done timed-out done failed done done ");
    EXPECT_TRUE(noStandInLeft());
    // One session a drawing, each with the template's bytes for that drawing and .EXIT.
    EXPECT_EQ(opened(), "K01.dwg K02.dwg K03.dwg K04.dwg K05.dwg K06.dwg ");
    EXPECT_EQ(
        readFile(m_dir / "record").substr(0, 200).find("_.OPEN " + m_dir / "ritningar/K01.dwg\r\n_.QSAVE\r\n.EXIT\r\n"),
        0u);

    std::filesystem::remove(m_dir / "record");
    standIn({});
    const Outcome retry = run({"--retry", m_journal});
    EXPECT_EQ(retry.exitCode, 0) << retry.err;
    EXPECT_EQ(opened(), "K02.dwg K04.dwg ");
    EXPECT_EQ(status(), "done done done done done done ");
}

TEST_F(VendrelRun, BatchesShareASessionAndItsTimeOutAndLeaveMissingDrawingsOut)
{
    std::filesystem::remove(m_dir / "ritningar/K02.dwg");
    // The first session changes one drawing and fails; the second leaves a child running and hangs.
    standIn({{"K01", "touch -d '2030-01-01' '" + m_dir / "ritningar/K03.dwg" + "'; exit 1"},
             {"K04", "sleep 60 & echo $! >> '" + m_dir / "pids" + "'; sleep 0.45"}});
    const Outcome outcome = run(newRun({"--batch", "3", "--timeout", "0.2"}));
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    // 0.45 s is within three times 0.2 s: the second session counts as done, and its child is gone.
    EXPECT_EQ(status(), "failed missing failed done done done ");
    EXPECT_EQ(opened(), "K01.dwg K03.dwg K04.dwg K05.dwg K06.dwg ");
    EXPECT_TRUE(noStandInLeft());
    supervise::JournalContent content;
    ASSERT_TRUE(readBack(m_journal, content));
    EXPECT_FALSE(content.drawings[0].changed);
    EXPECT_TRUE(content.drawings[2].changed);
    EXPECT_EQ(content.drawings[0].exitStatus, "1");
}

TEST_F(VendrelRun, AKilledRunResumesWithoutRedoingADoneDrawing)
{
    standIn({}, "sleep 0.05\n");
    std::mt19937 random(17);
    for (int round = 0; round < 4; ++round) {
        std::filesystem::remove(m_journal);
        std::filesystem::remove(m_dir / "record");
        const pid_t pid = start(newRun({"--timeout", "5"}));
        std::this_thread::sleep_for(milliseconds(std::uniform_int_distribution<int>(0, 350)(random)));
        ::kill(pid, SIGKILL);
        finish(pid);
        std::this_thread::sleep_for(milliseconds(100));

        supervise::JournalContent content;
        const std::string record = opened();
        if (!readBack(m_journal, content) || !content.usable)
            continue; // killed before the journal was made: nothing ran
        EXPECT_FALSE(content.damaged);
        std::vector<std::string> done;
        for (const auto& entry : content.drawings) {
            if (entry.state == supervise::State::Done)
                done.push_back(entry.name);
        }
        const std::size_t before = record.size();
        const Outcome resumed = run({"--resume", m_journal});
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
        EXPECT_EQ(status(), "done done done done done done ");
        const std::string after = opened().substr(before);
        for (const std::string& name : done)
            EXPECT_EQ(after.find(name), std::string::npos) << name << " ran again after " << record;
    }
    EXPECT_TRUE(noStandInLeft());
}

TEST_F(VendrelRun, ASecondProcessRefusesAJournalInUseAndAStopLeavesTheRestNotRun)
{
    standIn({{"K02", "sleep 60"}});
    const pid_t first = start(newRun({"--timeout", "60"}));
    for (int i = 0; i < 500 && readFile(m_dir / "record").find("K02") == std::string::npos; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    const Outcome second = run({"--resume", m_journal});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("används av en annan körning"), std::string::npos) << second.err;
    ::kill(first, SIGTERM);
    EXPECT_EQ(finish(first).exitCode, 1);
    EXPECT_EQ(status(), "done interrupted not-run not-run not-run not-run ");
    EXPECT_TRUE(noStandInLeft());
}

TEST_F(VendrelRun, AFullDiskIsReportedAndTheJournalStaysSound)
{
    // Full before the journal holds the drawings: nothing is run and nothing is left in the way.
    const Outcome early = run(newRun({}), [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(early.exitCode, 1);
    EXPECT_NE(early.err.find("kan inte skrivas"), std::string::npos) << early.err;
    EXPECT_FALSE(std::filesystem::exists(m_journal));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "record"));

    // The file-size limit makes the journal's writes fail as a full disk would; vendrel-run needs nobody to
    // ignore SIGXFSZ for it.
    const Outcome outcome = run(newRun({"--timeout", "5"}), [] {
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{700, 700};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("journalen kan inte skrivas"), std::string::npos) << outcome.err;
    const Outcome resumed = run({"--resume", m_journal});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(status(), "done done done done done done ");
}

TEST_F(VendrelRun, BadArgumentsAndBadInputsGetAClearAnswer)
{
    const std::string tmpl = m_dir / "Öppna.scr", folder = m_dir / "ritningar";
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {tmpl, folder},
                                               {"--cad", m_dir / "cad/acad", tmpl},
                                               {"--cad", m_dir / "cad/acad", "--batch", "0", tmpl, folder},
                                               {"--cad", m_dir / "cad/acad", "--timeout", "-1", tmpl, folder},
                                               {"--cad", m_dir / "cad/acad", "--timeout", "1,5", tmpl, folder},
                                               {"--status", m_journal, "--retry", m_journal},
                                               {"--resume", m_journal, "K01.dwg"},
                                               {"--frobnicate"}}) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << (arguments.empty() ? "" : arguments.front());
        const auto usage = outcome.err.find("Användning");
        ASSERT_NE(usage, std::string::npos);
        EXPECT_EQ(linesWiderThan(outcome.err.substr(usage), 79), std::vector<std::string>{});
    }
    // Neither names as arguments nor on standard input: nothing to run is a command line to mend.
    const Outcome nothing = run({"--cad", m_dir / "cad/acad", "--journal", m_journal, tmpl, folder});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_NE(nothing.err.find("ingen ritning att köra"), std::string::npos) << nothing.err;
    EXPECT_FALSE(std::filesystem::exists(m_journal));
    // Every line fits a console of 80 columns, which would break a wider one in the middle of a word.
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--sessions N"), std::string::npos);
    EXPECT_EQ(linesWiderThan(help.out, 79), std::vector<std::string>{});

    // A journal that is not there or is garbage, a program that is missing or cannot start.
    EXPECT_EQ(run({"--status", m_dir / "none.journal"}).exitCode, 1);
    writeFile(m_dir / "garbage.journal", std::string(300, '\xff') + "\n\n");
    Outcome garbage = run({"--resume", m_dir / "garbage.journal"});
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_NE(garbage.err.find("skadad"), std::string::npos) << garbage.err;
    Outcome missing = run({"--cad", m_dir / "cad/gone", tmpl, folder, "K01.dwg"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Hittar ej programmet"), std::string::npos) << missing.err;
    writeFile(m_dir / "cad/acad", "#!/bin/sh\n"); // no longer executable
    std::filesystem::permissions(m_dir / "cad/acad", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::remove);
    Outcome broken = run(newRun({}));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("kan inte startas"), std::string::npos) << broken.err;
    EXPECT_EQ(status(), "failed not-run not-run not-run not-run not-run ");
}

// A run's own files never replace one it did not make: a journal named after the template would put the
// batch script over the template, and a retry would then run another drawing's commands.
TEST_F(VendrelRun, AJournalNamedAfterItsTemplateIsRefusedAndTheTemplateKept)
{
    const std::string tmpl = m_dir / "Öppna.scr";
    const Outcome outcome = run({"--cad", m_dir / "cad/acad", "--journal", m_dir / "Öppna.journal", tmpl,
                                 m_dir / "ritningar", "K01.dwg"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("Öppna.scr"), std::string::npos) << outcome.err;
    EXPECT_EQ(readFile(tmpl), "_.OPEN %f\r\n_.QSAVE ; %name\r\n");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Öppna.journal"));
    EXPECT_EQ(opened(), "");
}

// Ctrl+C or SIGTERM at any moment, the very first included, leaves a journal that says what never ran.
TEST_F(VendrelRun, ASignalBeforeTheFirstBatchLeavesTheRestNotRun)
{
    for (int round = 0; round < 20; ++round) {
        std::filesystem::remove(m_journal);
        const pid_t pid = start(newRun({}));
        std::this_thread::sleep_for(microseconds(500 * round));
        ::kill(pid, SIGTERM);
        finish(pid);
        const std::string states = status();
        if (!std::filesystem::exists(m_journal))
            continue;
        EXPECT_EQ(states.find("pending"), std::string::npos) << "round " << round << ": " << states;
    }
}

TEST_F(VendrelRun, NoProcessOfASessionOutlivesItWhateverItsSession)
{
    // One session ends normally and one hangs, each after leaving a grandchild in a session of its own.
    standIn({{"K01", escape()}, {"K02", escape() + "; sleep 60"}});
    m_names.resize(2);
    const Outcome outcome = run(newRun({"--timeout", "0.5"}));
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_EQ(status(), "done timed-out ");
    EXPECT_TRUE(noStandInLeft());
}

TEST_F(VendrelRun, AResumeFirstEndsWhatAKilledRunLeftBehind)
{
    // Killed alone, and killed together with the process that keeps its session: either way the
    // session's processes are gone before the resumed run starts anything.
    for (const bool keeperToo : {false, true}) {
        std::filesystem::remove(m_journal);
        std::filesystem::remove(m_dir / "run.scr"); // not known to be a run's once its journal is gone
        std::filesystem::remove(m_dir / "pids");
        std::filesystem::remove(m_dir / "escaped");
        const std::string seen = m_dir / "seen";
        standIn({{"K02", "echo $PPID > '" + m_dir / "keeper" + "'; " + escape() + "; sleep 60"}},
                "for p in $(cat '" + m_dir / "pids" + "'); do [ $p = $$ ] || ! grep -q '^State:.[^Z]' /proc/$p/status" +
                    " 2>/dev/null || echo $p >> '" + seen + "'; done\n");
        const pid_t pid = start(newRun({"--timeout", "60"}));
        // Two heads, then the grandchild.
        const auto lines = [&] { return std::ranges::count(readFile(m_dir / "pids"), '\n'); };
        for (int i = 0; i < 1000 && lines() < 3; ++i)
            std::this_thread::sleep_for(milliseconds(10));
        const std::string pids = readFile(m_dir / "pids");
        const std::string escaped = pids.substr(pids.rfind('\n', pids.size() - 2) + 1, std::string::npos);
        const std::string escapedPid = escaped.substr(0, escaped.find('\n'));
        ASSERT_TRUE(running(escapedPid)) << pids;
        ::kill(pid, SIGKILL);
        if (keeperToo)
            ::kill(std::stoi(readFile(m_dir / "keeper")), SIGKILL);
        finish(pid);
        if (keeperToo) { // nothing ends it now but the resume
            EXPECT_TRUE(running(escapedPid));
        }

        standIn({}, "for p in $(cat '" + m_dir / "pids" + "'); do [ $p = $$ ] || ! grep -q '^State:.[^Z]' /proc/$p/status" +
                        " 2>/dev/null || echo $p >> '" + seen + "'; done\n");
        const Outcome resumed = run({"--resume", m_journal});
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
        EXPECT_EQ(status(), "done done done done done done ");
        EXPECT_EQ(readFile(seen), "") << "still running when the resumed run started, keeper killed: " << keeperToo;
        EXPECT_TRUE(noStandInLeft());
    }
}

TEST_F(VendrelRun, HugeTimeOutsAndPathsFullOfQuotesAreTakenAsGiven)
{
    // A folder name a shell would read otherwise: every path reaches the program as it is.
    const std::string odd = m_dir / "q\"uote \\$HOME \\\\ 'x'";
    const std::string program = odd + "/acad";
    writeFile(program,
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_dir / "args" + "'\nfor a; do script=\"$a\"; done\ncat \"$script\" >> '" +
                  m_dir / "record" + "' || exit 1\nsleep 0.1\n",
              true);
    m_names.resize(2);
    const std::string journal = odd + "/run.journal";
    std::vector<std::string> arguments = {
        "--cad", program, "--start-drawing", odd + "/start.dwg", "--params", "/p \"Mitt std\"", "--journal", journal,
        // the longest time-out over the largest batch
        "--timeout", "86400", "--batch", "1000", m_dir / "Öppna.scr", m_dir / "ritningar"};
    arguments.insert(arguments.end(), m_names.begin(), m_names.end());
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(readFile(m_dir / "args"), odd + "/start.dwg\n/p\nMitt std\n/b\n" + odd + "/run.scr\n");
    EXPECT_EQ(opened(), "K01.dwg K02.dwg ");
}

TEST_F(VendrelRun, ALastResultThatCannotBeWrittenFailsTheRun)
{
    m_names.resize(1);
    ASSERT_EQ(run(newRun({})).exitCode, 0);
    // The same run again with room for everything up to its result: the result's write fails.
    const std::string whole = readFile(m_journal);
    const rlim_t room = whole.rfind('\n', whole.find(" result\t")) + 1;
    std::filesystem::remove(m_journal);
    std::filesystem::remove(m_dir / "run.scr"); // not known to be a run's once its journal is gone
    const Outcome outcome = run(newRun({}), [room] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{room, room};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("journalen kan inte skrivas"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("done K01.dwg"), std::string::npos) << outcome.err;
    EXPECT_EQ(status(), "interrupted ");
}

TEST_F(VendrelRun, AnUnfinishedJournalIsStartedAfreshAndAPipeIsNoJournal)
{
    // A run killed while it made its journal: the resume says what happened, the same command starts anew.
    writeFile(m_journal, "");
    const Outcome resumed = run({"--resume", m_journal});
    EXPECT_EQ(resumed.exitCode, 1);
    EXPECT_NE(resumed.err.find("skapades aldrig färdigt"), std::string::npos) << resumed.err;
    const Outcome again = run(newRun({}));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(status(), "done done done done done done ");

    const std::string fifo = m_dir / "fifo.journal";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* mode : {"--status", "--resume"}) {
        const Outcome outcome = run({mode, fifo}, [] { ::alarm(5); });
        EXPECT_EQ(outcome.exitCode, 1) << mode;
    }
}

// A journal named from the current folder: the scripts beside it reach the CAD program by their whole paths, so
// a program that works in a folder of its own still finds them.
TEST_F(VendrelRun, AJournalNamedFromTheCurrentFolderIsTakenUpAsAWholePath)
{
    m_names.resize(3);
    standIn({{"K02", "exit 1"}});
    EXPECT_EQ(run(newRun({})).exitCode, 1);
    std::filesystem::remove(m_dir / "record");
    standIn({}, "", "cd /");
    const std::string here = m_dir.path();
    const Outcome retry = run({"--retry", "run.journal"}, [&here] { ::chdir(here.c_str()); });
    EXPECT_EQ(retry.exitCode, 0) << retry.err;
    EXPECT_EQ(opened(), "K02.dwg ");
    EXPECT_EQ(status(), "done done done ");
}

// Names are shown as the journal keeps them, so that each can be matched with its file and stays on its line.
TEST_F(VendrelRun, StatusShowsNamesThatAreNoTextEscaped)
{
    script::RunRequest inputs;
    inputs.listingFolder = m_dir / "ritningar";
    inputs.drawings = {"Plan \xff\xfe.dwg", "Fasad öst.dwg",  "a\tb\nc\rd.dwg",
                       "back\\slash.dwg",   "esc\x1b[2J.dwg", "kort \xc3.dwg"};
    const auto created = supervise::JournalWriter::create(m_journal, inputs, {});
    ASSERT_TRUE(created) << created.error().message;
    const Outcome outcome = run({"--status", m_journal});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_EQ(outcome.out, "pending\tPlan \\xFF\\xFE.dwg\n"
                           "pending\tFasad öst.dwg\n"
                           "pending\ta\\tb\\nc\\rd.dwg\n"
                           "pending\tback\\\\slash.dwg\n"
                           "pending\tesc\\x1B[2J.dwg\n"
                           "pending\tkort \\xC3.dwg\n");
}

// A closed terminal and a reader that has gone stop a run as Ctrl+C does: its session ended, its journal ended,
// the rest not-run, and the message to resume wherever it can still be read.
TEST_F(VendrelRun, AClosedTerminalOrAGoneReaderStopsTheRunAsCtrlCDoes)
{
    standIn({{"K02", "sleep 60"}});
    const pid_t hungUp = start(newRun({"--timeout", "60"}));
    for (int i = 0; i < 1000 && readFile(m_dir / "record").find("K02") == std::string::npos; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    ::kill(hungUp, SIGHUP);
    const Outcome outcome = finish(hungUp);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("fortsätt med --resume " + m_journal), std::string::npos) << outcome.err;
    EXPECT_EQ(status(), "done interrupted not-run not-run not-run not-run ");
    supervise::JournalContent content;
    const auto read = readBack(m_journal, content);
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(content.finished);

    // Standard error into a pipe whose reader goes after the first line, as `2>&1 | head -1` does; K02 waits
    // until it has gone.
    const std::string journal = m_dir / "pipe.journal", gate = m_dir / "gate";
    standIn({{"K02", "while [ ! -e '" + gate + "' ]; do sleep 0.01; done"}});
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    std::vector<std::string> arguments = newRun({});
    arguments[3] = journal;
    const pid_t piped = start(arguments, [&pipe] {
        ::dup2(pipe[1], 2);
        ::close(pipe[0]);
        ::close(pipe[1]);
    });
    ::close(pipe[1]);
    std::string first;
    for (char c = 0; c != '\n' && ::read(pipe[0], &c, 1) == 1;)
        first.push_back(c);
    EXPECT_NE(first.find("journal: "), std::string::npos) << first;
    ::close(pipe[0]);
    writeFile(gate, "");
    EXPECT_EQ(finish(piped).exitCode, 1);
    const std::string states = status(journal);
    EXPECT_EQ(states.find("done "), 0u) << states;
    EXPECT_NE(states.find("not-run not-run not-run not-run "), std::string::npos) << states;
    const auto reread = readBack(journal, content);
    ASSERT_TRUE(reread) << reread.error();
    EXPECT_TRUE(content.finished);

    // Both closed from the start: nothing to tell, and no file the run opens takes their place.
    std::filesystem::remove(m_journal);
    std::filesystem::remove(m_dir / "run.scr"); // not known to be a run's once its journal is gone
    standIn({});
    const Outcome closed = run(newRun({}), [] {
        ::close(1);
        ::close(2);
    });
    EXPECT_EQ(closed.exitCode, 0);
    EXPECT_EQ(status(), "done done done done done done ");
}

// A stop while the names are still read from standard input ends the program at once: no journal of drawings
// that never ran, and no wait for an input that may never end.
TEST_F(VendrelRun, AStopWhileTheNamesAreReadEndsAtOnceWithoutAJournal)
{
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    std::vector<std::string> arguments = newRun({});
    arguments.resize(arguments.size() - m_names.size());
    const pid_t pid = start(arguments, [&pipe] {
        ::dup2(pipe[0], 0);
        ::close(pipe[0]);
        ::close(pipe[1]);
        ::alarm(20); // the input never ends: without the mend, this is what ends it
    });
    ::close(pipe[0]);
    ASSERT_EQ(::write(pipe[1], "K01.dwg\n", 8), 8);
    // Once the program catches Ctrl+C it is reading or about to.
    const auto catching = [pid] {
        const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
        const auto at = status.find("SigCgt:\t");
        return at != std::string::npos && (std::stoull(status.substr(at + 8, 16), nullptr, 16) & (1u << (SIGINT - 1)));
    };
    for (int i = 0; i < 1000 && !catching(); ++i)
        std::this_thread::sleep_for(milliseconds(10));
    ::kill(pid, SIGINT);
    const Outcome outcome = finish(pid);
    ::close(pipe[1]);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("inget har körts"), std::string::npos) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(m_journal));
    EXPECT_EQ(opened(), "");
}

} // namespace
