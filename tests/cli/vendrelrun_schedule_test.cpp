// vendrel-run --schedule, --schedules and --unschedule against a stand-in systemctl that fires the timer at once:
// the job then runs from the unit's command line, with nobody there.

#include "supervise/journal.h"
#include "support/childprocess.h"
#include "support/readback.h"
#include "support/tempfolder.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using Outcome = ChildOutcome;

class Scheduling : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_dir / "runtime").c_str(), 1);
        setenv("VENDREL_SYSTEMCTL", SYSTEMCTL_STAND_IN, 1);
        setenv("STANDIN_RECORD", (m_dir / "systemctl").c_str(), 1);
        unsetenv("STANDIN_STATE");
        unsetenv("STANDIN_REFUSE");
        writeFile(m_dir / "Jobb mapp/å ö/Mallar/rensa.scr", "_.OPEN %f\r\n_.QSAVE\r\n");
        for (int i = 1; i <= 6; ++i)
            writeFile(m_dir / "Jobb mapp/å ö/Ritningar/K0" + std::to_string(i) + ".dwg", "dwg");
        writeFile(m_dir / "cad/acad", "#!/bin/sh\nexit 0\n", true);
        writeFile(m_job, "version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"Ritningar\"\n[cad]\n"
                         "program = \"" +
                             m_dir / "cad/acad" + "\"\n[run]\nbatch = 2\nmarks = \"off\"\n");
    }

    Outcome run(std::vector<std::string> words)
    {
        words.insert(words.begin(), VENDREL_RUN_PROGRAM);
        return finishChild(startChild(words, m_dir / "stdout", m_dir / "stderr"), m_dir / "stdout", m_dir / "stderr");
    }
    std::vector<std::string> units() const
    {
        std::vector<std::string> names;
        if (fs::exists(m_units)) {
            for (const auto& entry : fs::directory_iterator(m_units))
                names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The systemctl calls since the last look, one a line, without the options every call carries.
    std::string calls()
    {
        std::string record = readFile(m_dir / "systemctl");
        std::string since = record.substr(std::min(m_seen, record.size()));
        m_seen = record.size();
        for (std::size_t at; (at = since.find("--user --no-ask-password ")) != std::string::npos;)
            since.erase(at, 25);
        return since;
    }

    TempFolder m_dir;
    std::string m_job = m_dir / "Jobb mapp/å ö/Natt körning 100%.vjob";
    std::string m_units = m_dir / "config/systemd/user";
    std::size_t m_seen = 0;
};

// Scheduled, the timer fires and the job runs every drawing from the unit's command line; then it is listed,
// refused a second time, replaced on purpose and removed.
TEST_F(Scheduling, TheTimerRunsTheJobAndTheTaskIsListedReplacedAndRemoved)
{
    Outcome outcome = run({"--schedule", "daily 02:00", "--job", m_job});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(units(),
              (std::vector<std::string>{"vendrel-Natt-korning-100.service", "vendrel-Natt-korning-100.timer"}));
    EXPECT_EQ(calls(), "is-system-running\ndaemon-reload\nenable --now vendrel-Natt-korning-100.timer\n");

    // The fired run: its journal, every drawing done.
    const fs::path runs = m_dir / "data/Brannoc/Vendrel/runs";
    supervise::JournalContent content;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool finished = false;
    while (!finished && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!fs::exists(runs))
            continue;
        for (const auto& entry : fs::directory_iterator(runs)) {
            if (entry.path().extension() != ".journal" || !readBack(entry.path().string(), content))
                continue;
            finished = content.drawings.size() == 6 &&
                       std::all_of(content.drawings.begin(), content.drawings.end(),
                                   [](const auto& drawing) { return drawing.state == supervise::State::Done; });
        }
    }
    EXPECT_TRUE(finished) << readFile(m_dir / "systemctl.fired");

    outcome = run({"--schedules"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "Natt-korning-100\tVendrel: daily 02:00 " + m_job + "\n");

    outcome = run({"--schedule", "weekdays 03:00", "--job", m_job});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("finns redan"), std::string::npos) << outcome.err;
    EXPECT_NE(readFile(m_units + "/vendrel-Natt-korning-100.timer").find("OnCalendar=*-*-* 02:00:00"),
              std::string::npos);

    calls();
    outcome = run({"--schedule", "weekdays 03:00", "--job", m_job, "--replace"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(readFile(m_units + "/vendrel-Natt-korning-100.timer").find("OnCalendar=Mon..Fri *-*-* 03:00:00"),
              std::string::npos);
    EXPECT_NE(calls().find("restart vendrel-Natt-korning-100.timer\n"), std::string::npos);

    outcome = run({"--unschedule", "Natt-korning-100"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(units(), std::vector<std::string>{});
    EXPECT_EQ(calls(), "is-system-running\ndisable --now vendrel-Natt-korning-100.timer\ndaemon-reload\n");
    outcome = run({"--unschedule", "Natt-korning-100"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("heter \"Natt-korning-100\""), std::string::npos) << outcome.err;
}

// systemd's refusal is shown and leaves no unit behind; without a user's systemd the crontab line is given.
TEST_F(Scheduling, ARefusalLeavesNothingAndWithoutSystemdTheCrontabLineIsGiven)
{
    setenv("STANDIN_REFUSE", "enable", 1);
    Outcome outcome = run({"--schedule", "once 2099-12-24 02:00", "--job", m_job, "--name", "jul"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("systemctl vägrade: Failed to enable unit: Access denied"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(units(), std::vector<std::string>{});
    EXPECT_EQ(calls(), "is-system-running\ndaemon-reload\nenable --now vendrel-jul.timer\ndaemon-reload\n");
    unsetenv("STANDIN_REFUSE");

    setenv("STANDIN_STATE", "offline", 1);
    outcome = run({"--schedule", "weekdays 02:30", "--job", m_job});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "30 2 * * 1-5 '" + std::string(VENDREL_RUN_PROGRAM) + "' --job '" + m_dir.path() +
                               "/Jobb mapp/å ö/Natt körning 100\\%.vjob'\n");
    EXPECT_NE(outcome.err.find("crontab -e"), std::string::npos) << outcome.err;
    EXPECT_EQ(units(), std::vector<std::string>{});
    outcome = run({"--schedules"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find("inga schemalagda uppgifter"), std::string::npos) << outcome.err;
}

TEST_F(Scheduling, BadInputIsRefusedBeforeAnythingIsScheduled)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--schedule", "daily 25:00", "--job", m_job}, "klockslaget 25:00 finns inte"},
        {{"--schedule", "once 2026-02-30 02:00", "--job", m_job}, "datumet 2026-02-30 finns inte"},
        {{"--schedule", "once 2001-01-01 02:00", "--job", m_job}, "har redan passerat"},
        {{"--schedule", "daily 02:00", "--job", m_dir / "saknas.vjob"}, "saknas.vjob"},
        {{"--schedule", "daily 02:00"}, "--schedule tar --job FILE"},
        {{"--schedule", "daily 02:00", "--job", m_job, "--name", "natt körning"}, "får bara innehålla"},
        {{"--schedule", "daily 02:00", "--job", m_job, "--batch", "2"}, "--schedule tar --job FILE"},
        {{"--schedules", "--unschedule", "x"}, "en av --schedule"},
        {{"--replace"}, "hör till --schedule"},
    };
    for (const auto& [words, message] : cases) {
        const Outcome outcome = run(words);
        EXPECT_EQ(outcome.exitCode, 2) << words[0];
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(units(), std::vector<std::string>{});
    EXPECT_EQ(calls().find("enable"), std::string::npos);
}

} // namespace
