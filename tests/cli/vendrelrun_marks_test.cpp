// vendrel-run with drawing marks and several sessions, over the stand-in CAD program that carries out marks
// (tests/standin): each drawing accounted for, sessions side by side, kills at random moments, the probe.

#include "support/childprocess.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono;

struct Event
{
    long long pid = 0;
    long long ms = 0;
    std::string what; // "start", "open /…/d004HANG.dwg", "mark end 3", ...
};

class MarkedRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        setenv("VENDREL_STANDIN_LOG", (m_dir / "log").c_str(), 1);
        unsetenv("VENDREL_STANDIN_NOLISP");
        setenv("VENDREL_STANDIN_MS", "10", 1);
        writeFile(m_dir / "Öppna.scr", "_.OPEN \"%f\"\r\n_.QSAVE\r\n");
    }
    // Drawings d001.dwg…, with a word (HANG, CRASH) in the names of some, by number from 1.
    void drawings(int count, const std::map<int, std::string>& words = {})
    {
        m_names.clear();
        for (int i = 1; i <= count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "d%03d", i);
            const auto word = words.find(i);
            m_names.push_back(std::string(name) + (word == words.end() ? "" : word->second) + ".dwg");
            writeFile(m_dir / "ritningar/" + m_names.back(), "dwg");
        }
    }
    pid_t start(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), VENDREL_RUN_PROGRAM);
        return startChild(std::move(arguments), "", m_dir / "stderr");
    }
    static int finish(pid_t pid) { return waitChild(pid); }
    int run(const std::vector<std::string>& arguments) const { return finish(start(arguments)); }
    std::vector<std::string> newRun(const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments = {"--cad", STAND_IN_PROGRAM, "--journal", m_journal};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {m_dir / "Öppna.scr", m_dir / "ritningar"});
        arguments.insert(arguments.end(), m_names.begin(), m_names.end());
        return arguments;
    }
    // The states by name from --status, one letter each: d done, t timed-out, f failed, other: '?'.
    std::string states() const
    {
        if (!std::filesystem::exists(m_journal))
            return {};
        const std::string out = m_dir / "status";
        waitChild(startChild({VENDREL_RUN_PROGRAM, "--status", m_journal}, out, ""));
        std::string letters;
        std::istringstream lines(readFile(out));
        for (std::string line; std::getline(lines, line);)
            letters += line.starts_with("done\t")        ? 'd'
                       : line.starts_with("timed-out\t") ? 't'
                       : line.starts_with("failed\t")    ? 'f'
                                                         : '?';
        return letters;
    }
    std::vector<Event> events() const
    {
        std::vector<Event> all;
        std::istringstream lines(readFile(m_dir / "log"));
        for (std::string line; std::getline(lines, line);) {
            Event event;
            std::istringstream fields(line);
            fields >> event.pid >> event.ms;
            std::getline(fields >> std::ws, event.what);
            all.push_back(event);
        }
        return all;
    }
    // How often each drawing was opened, by file name.
    std::map<std::string, int> openings() const
    {
        std::map<std::string, int> counts;
        for (const Event& event : events()) {
            if (event.what.starts_with("open "))
                ++counts[event.what.substr(event.what.rfind('/') + 1)];
        }
        return counts;
    }
    bool eachOpenedOnce() const
    {
        const auto counts = openings();
        return counts.size() == m_names.size() &&
               std::all_of(counts.begin(), counts.end(), [](const auto& count) { return count.second == 1; });
    }
    // The most stand-ins alive at one moment; one that hung counts until the time-out after it hung.
    int mostAtOnce(milliseconds timeout) const
    {
        std::map<long long, std::pair<long long, long long>> lives;
        for (const Event& event : events()) {
            auto& life = lives.try_emplace(event.pid, event.ms, event.ms).first->second;
            life.second = event.what == "hang" ? event.ms + timeout.count() - 200 : event.ms;
        }
        std::vector<std::pair<long long, int>> changes;
        for (const auto& [pid, life] : lives) {
            changes.emplace_back(life.first, 1);
            changes.emplace_back(life.second, -1);
        }
        std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : a.second < b.second;
        });
        int alive = 0, most = 0;
        for (const auto& change : changes)
            most = std::max(most, alive += change.second);
        return most;
    }
    bool noStandInLeft() const
    {
        for (const Event& event : events()) {
            for (int i = 0;; ++i) {
                const std::string stat = readFile("/proc/" + std::to_string(event.pid) + "/stat");
                if (stat.empty() || stat.find(") Z") != std::string::npos)
                    break;
                if (i == 100)
                    return false;
                std::this_thread::sleep_for(milliseconds(10));
            }
        }
        return true;
    }

    TempFolder m_dir;
    std::string m_journal = m_dir / "run.journal";
    std::vector<std::string> m_names;
};

TEST_F(MarkedRun, AHangAndACrashCostOnlyTheirOwnDrawings)
{
    // The last one's end mark comes, then the program hangs in .EXIT: it is done all the same.
    drawings(20, {{4, "HANG"}, {13, "CRASH"}, {20, "EXITHANG"}});
    const int status = run(newRun({"--batch", "10", "--timeout", "1", "--marks", "on"}));
    EXPECT_EQ(status, 1) << readFile(m_dir / "stderr");
    EXPECT_EQ(states(), "dddtddddddddfddddddd");
    EXPECT_TRUE(eachOpenedOnce());
    EXPECT_TRUE(noStandInLeft());
    EXPECT_NE(readFile(m_dir / "stderr").find("hängde i den här ritningen"), std::string::npos);

    // Without marks the same run can only blame the batches as a whole.
    std::filesystem::remove(m_dir / "log");
    std::filesystem::remove(m_journal);
    std::filesystem::remove(m_dir / "run.scr");
    EXPECT_EQ(run(newRun({"--batch", "10", "--timeout", "0.3", "--marks", "off"})), 1);
    EXPECT_EQ(states(), "tttttttttt" + std::string(10, 'f'));
    EXPECT_NE(readFile(m_dir / "stderr").find("utan ritningsmärken"), std::string::npos);
}

TEST_F(MarkedRun, FourSessionsRunSideBySideAndReplaceTheOnesThatFail)
{
    drawings(40, {{7, "HANG"}, {23, "CRASH"}});
    setenv("VENDREL_STANDIN_MS", "40", 1);
    EXPECT_EQ(run(newRun({"--sessions", "4", "--batch", "5", "--timeout", "1", "--marks", "on"})), 1);
    std::string expected(40, 'd');
    expected[6] = 't';
    expected[22] = 'f';
    EXPECT_EQ(states(), expected);
    EXPECT_TRUE(eachOpenedOnce());
    EXPECT_LE(mostAtOnce(seconds(1)), 4);
    EXPECT_GE(mostAtOnce(seconds(1)), 2);
    EXPECT_TRUE(noStandInLeft());
}

TEST_F(MarkedRun, AStopEndsEverySessionAndAResumeWithOtherSessionsFinishes)
{
    drawings(12);
    setenv("VENDREL_STANDIN_MS", "300", 1);
    const pid_t pid = start(newRun({"--sessions", "3", "--batch", "2", "--marks", "on"}));
    // Stopped once all three sessions are at work.
    for (int i = 0; i < 500 && openings().size() < 3; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid), 1);
    EXPECT_TRUE(noStandInLeft());
    const std::string stopped = states();
    EXPECT_EQ(stopped.find_first_not_of("d?"), std::string::npos) << stopped;
    setenv("VENDREL_STANDIN_MS", "10", 1);
    EXPECT_EQ(run({"--resume", m_journal, "--sessions", "2"}), 0) << readFile(m_dir / "stderr");
    EXPECT_EQ(states(), std::string(12, 'd'));
}

TEST_F(MarkedRun, KillsAtRandomMomentsNeverRunADrawingAgainAfterItsEndMark)
{
    drawings(24);
    std::mt19937 random(23);
    int rounds = 0, runs = 0;
    std::set<std::string> ended; // the drawings of this run whose end mark the stand-in wrote
    const auto check = [&] {
        // Events in the order they were logged: an opening after the drawing's end mark is a drawing run twice.
        for (const Event& event : events()) {
            if (event.what.starts_with("mark end ")) {
                ended.insert(m_names.at(std::stoul(event.what.substr(9))));
            } else if (event.what.starts_with("open ")) {
                const std::string name = event.what.substr(event.what.rfind('/') + 1);
                EXPECT_FALSE(ended.count(name)) << name << " opened again after its end mark, round " << rounds;
            }
        }
    };
    while (rounds < 200) {
        const bool fresh = !std::filesystem::exists(m_journal);
        const std::string sessions = std::to_string(1 + random() % 3);
        const pid_t pid =
            start(fresh ? newRun({"--batch", "4", "--marks", "on", "--sessions", sessions})
                        : std::vector<std::string>{"--resume", m_journal, "--marks", "on", "--sessions", sessions});
        std::this_thread::sleep_for(milliseconds(random() % 120));
        ::kill(pid, SIGKILL);
        const int status = finish(pid);
        ++rounds;
        if (status == 0 || states() == std::string(m_names.size(), 'd')) {
            // The run is over: the next round begins another.
            check();
            std::filesystem::remove(m_journal);
            std::filesystem::remove(m_dir / "run.scr");
            for (const char* file : {"run.marks", "run.2.scr", "run.2.marks", "run.3.scr", "run.3.marks"})
                std::filesystem::remove(m_dir / file);
            std::filesystem::remove(m_dir / "log");
            ended.clear();
            ++runs;
        }
    }
    check();
    EXPECT_GE(runs, 1);
    EXPECT_TRUE(noStandInLeft());
}

TEST_F(MarkedRun, TheProbeTellsAProgramWithMarksFromOneWithout)
{
    drawings(2);
    writeFile(m_dir / "start.dwg", "dwg");
    const std::vector<std::string> probe = {
        "--probe", "--cad", STAND_IN_PROGRAM, "--start-drawing", m_dir / "start.dwg", "--timeout", "5"};
    EXPECT_EQ(run(probe), 0) << readFile(m_dir / "stderr");
    // auto follows the answer kept for the program.
    EXPECT_EQ(run(newRun({"--batch", "2"})), 0);
    EXPECT_NE(readFile(m_dir / "log").find("mark end 1"), std::string::npos);

    setenv("VENDREL_STANDIN_NOLISP", "1", 1);
    EXPECT_EQ(run(probe), 1);
    std::filesystem::remove(m_dir / "log");
    std::filesystem::remove(m_journal);
    std::filesystem::remove(m_dir / "run.scr");
    EXPECT_EQ(run(newRun({"--batch", "2"})), 0);
    EXPECT_EQ(readFile(m_dir / "run.scr").find("(progn"), std::string::npos);
    EXPECT_EQ(states(), "dd");

    // A program that cannot be started at all gives no answer to keep: it may do marks once it starts.
    const std::string unstartable = m_dir / "cad/not-a-program";
    writeFile(unstartable, "text");
    EXPECT_EQ(run({"--probe", "--cad", unstartable, "--start-drawing", m_dir / "start.dwg", "--timeout", "5"}), 1);
    EXPECT_NE(readFile(m_dir / "stderr").find("inget svar sparas"), std::string::npos) << readFile(m_dir / "stderr");
    EXPECT_EQ(readFile(m_dir / "data/Brannoc/Vendrel/runs/cad-marks.txt").find(unstartable), std::string::npos);
}

TEST_F(MarkedRun, TheConsoleFormRunsOneDrawingAProcessAndKeepsItsOutput)
{
    drawings(3);
    // The console opens the drawing it is given: a template for it has no opening of its own.
    writeFile(m_dir / "Öppna.scr", "_.QSAVE\r\n");
    writeFile(m_dir / "ritningar/med \"citat\" och å.dwg", "dwg");
    m_names.push_back("med \"citat\" och å.dwg");
    EXPECT_EQ(run(newRun({"--form", "console", "--params", "/l sv", "--sessions", "2"})), 0)
        << readFile(m_dir / "stderr");
    EXPECT_EQ(states(), "dddd");
    EXPECT_TRUE(eachOpenedOnce());
    bool seen = false;
    for (const Event& event : events()) {
        if (event.what.find("citat") != std::string::npos && event.what.starts_with("args")) {
            seen = true;
            const std::string drawing = m_dir / "ritningar/med \"citat\" och å.dwg";
            EXPECT_TRUE(event.what.starts_with("args [/i] [" + drawing + "] [/s] [" + m_dir / "run.")) << event.what;
            EXPECT_TRUE(event.what.ends_with(".scr] [/l] [sv]")) << event.what;
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(readFile(m_dir / "run.logs/3.log"), std::string("o\0k\0\r\0\n\0", 8));
}

// A retry is the same run: the console form, its marks and its sessions, as the run began with them, unless told
// otherwise.
TEST_F(MarkedRun, ARetryGoesOnWithThePolicyOfItsRun)
{
    drawings(4, {{2, "CRASH"}, {3, "CRASH"}});
    writeFile(m_dir / "Öppna.scr", "_.QSAVE\r\n");
    EXPECT_EQ(run(newRun({"--form", "console", "--marks", "off", "--sessions", "2"})), 1);
    EXPECT_EQ(states(), "dffd");
    const auto consoleStarts = [this] {
        int count = 0;
        for (const Event& event : events())
            count += event.what.starts_with("args [/i]") ? 1 : 0;
        return count;
    };
    ASSERT_EQ(consoleStarts(), 4);
    EXPECT_EQ(run({"--retry", m_journal}), 1) << readFile(m_dir / "stderr");
    EXPECT_EQ(consoleStarts(), 6);
    EXPECT_EQ(readFile(m_journal).find("(progn"), std::string::npos);

    // Told the standard form, the retry runs it: the template opens nothing, so nothing crashes.
    EXPECT_EQ(run({"--retry", m_journal, "--form", "standard"}), 0);
    EXPECT_EQ(consoleStarts(), 6);
    EXPECT_EQ(states(), "dddd");
}

// The files of a run's sessions are its own from its start: a journal cut back to its drawing list (a disk that
// lost its tail) is taken up over them, and a retry with fewer sessions leaves none of the others behind.
TEST_F(MarkedRun, TheFilesOfEverySessionAreTheRunsOwn)
{
    drawings(12, {{5, "CRASH"}});
    EXPECT_EQ(run(newRun({"--sessions", "3", "--batch", "2", "--marks", "on"})), 1);
    ASSERT_TRUE(std::filesystem::exists(m_dir / "run.3.scr"));
    const std::string whole = readFile(m_journal);
    const auto list = whole.find(" drawings\t");
    ASSERT_NE(list, std::string::npos);
    std::filesystem::resize_file(m_journal, whole.find('\n', list) + 1);
    EXPECT_EQ(run({"--resume", m_journal}), 1) << readFile(m_dir / "stderr");
    EXPECT_EQ(states(), "ddddfddddddd");

    EXPECT_EQ(run({"--retry", m_journal, "--sessions", "1"}), 1);
    EXPECT_TRUE(std::filesystem::exists(m_dir / "run.scr"));
    for (const char* file : {"run.marks", "run.2.scr", "run.2.marks", "run.3.scr", "run.3.marks"})
        EXPECT_FALSE(std::filesystem::exists(m_dir / file)) << file;
}

TEST_F(MarkedRun, BadSessionCountsAreRefused)
{
    drawings(1);
    for (const char* count : {"0", "-1", "65", "x"})
        EXPECT_EQ(run(newRun({"--sessions", count})), 2) << count;
}

} // namespace
