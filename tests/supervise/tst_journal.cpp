// The journal of a supervised run: what is written is read back, a crash at any byte loses at most the
// records being written, damage is reported, and only one process writes a journal at a time.
#include "supervise/journal.h"
#include "supervise/runfiles.h"
#include "support/readback.h"
#include "support/tempfolder.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using supervise::DrawingEntry;
using supervise::JournalContent;
using supervise::JournalWriter;
using supervise::State;

script::RunRequest sampleInputs(std::vector<std::string> drawings = {})
{
    script::RunRequest inputs;
    inputs.templatePath = "/mallar/Rita om.scr";
    inputs.templateHash = script::templateHash("_.OPEN %f\r\n");
    inputs.cad = {CadKind::Acad, "/opt/cad/acad", "/p \"Standard\"\t/nologo", "/opt/vendrel/helvscr.dwg"};
    inputs.listingFolder = "/projekt/A1";
    inputs.projectName = "Anl 7";
    inputs.drawings = std::move(drawings);
    return inputs;
}

supervise::RunPolicy samplePolicy()
{
    supervise::RunPolicy policy;
    policy.batchSize = 3;
    policy.timeout = std::chrono::milliseconds(1500);
    policy.sessions = 2;
    policy.marks = supervise::MarksChoice::On;
    policy.form = supervise::CommandForm::Console;
    policy.sessionStart = "/mallar/obevakad\tstart.scr";
    return policy;
}

class Journal : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.valid()); }
    // A journal of four drawings: the first done, the second failed, the third started when the run died.
    std::string writeSample()
    {
        auto created = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy());
        EXPECT_TRUE(created) << created.error().message;
        auto& journal = *created;
        DrawingEntry done{m_names[0], State::Done, true, 1000, 2000, "0"};
        DrawingEntry failed{m_names[1], State::Failed, false, 2000, 3000, "signal 11"};
        const std::size_t first[] = {0, 1};
        EXPECT_TRUE(journal->batchStarted(1000, first));
        const DrawingEntry entries[] = {done, failed};
        EXPECT_TRUE(journal->settled(first, entries));
        const std::size_t third[] = {2};
        EXPECT_TRUE(journal->batchStarted(3000, third));
        return readFile(m_path);
    }

    TempFolder m_dir;
    std::string m_path = m_dir / "run.journal";
    // Names are bytes: tabs, backslashes and line breaks survive.
    std::vector<std::string> m_names = {"K01.dwg", "tab\there.dwg", "back\\slash\r\n.dwg", "Plan \xE5.dwg"};
};

TEST_F(Journal, WhatIsWrittenIsReadBack)
{
    writeSample();
    JournalContent content;
    const auto read = readBack(m_path, content);
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(content.usable);
    EXPECT_FALSE(content.damaged);
    EXPECT_FALSE(content.finished);
    EXPECT_EQ(script::requestFields(content.request), script::requestFields(sampleInputs()));
    EXPECT_TRUE(content.policy == samplePolicy());
    ASSERT_EQ(content.drawings.size(), 4u);
    const State states[] = {State::Done, State::Failed, State::Interrupted, State::Pending};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(content.drawings[i].name, m_names[i]);
        EXPECT_EQ(content.drawings[i].state, states[i]) << i;
    }
    EXPECT_TRUE(content.drawings[0].changed);
    EXPECT_EQ(content.drawings[1].exitStatus, "signal 11");
    EXPECT_EQ(content.drawings[1].endedMs, 3000);
    EXPECT_EQ(supervise::drawingsToResume(content), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(supervise::drawingsToRetry(content), (std::vector<std::size_t>{1, 2}));
}

TEST_F(Journal, ACutAtAnyByteLosesNoSettledDrawingAndNeverPassesForDone)
{
    const std::string whole = writeSample();
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const JournalContent content = supervise::parseJournal(std::string_view(whole).substr(0, size));
        if (!content.usable)
            continue;
        const bool cutInLine = size > 0 && whole[size - 1] != '\n';
        EXPECT_EQ(content.damaged, false) << size;
        EXPECT_EQ(content.problems.size(), cutInLine ? 1u : 0u) << size;
        for (std::size_t i = 1; i < content.drawings.size(); ++i)
            EXPECT_NE(content.drawings[i].state, State::Done) << size;
    }
    // Opening a torn journal cuts the torn record off, so what is added next reads as sound records.
    writeFile(m_path, whole.substr(0, whole.size() - 5));
    auto opened = JournalWriter::open(m_path);
    ASSERT_TRUE(opened) << opened.error().message;
    auto& [journal, content] = *opened;
    EXPECT_EQ(content.drawings[2].state, State::Pending);
    ASSERT_TRUE(journal->finished(4000, "klar"));
    journal.reset();
    ASSERT_TRUE(readBack(m_path, content));
    EXPECT_TRUE(content.problems.empty());
    EXPECT_TRUE(content.finished);
}

TEST_F(Journal, DamageAndGarbageAreReportedNotTrusted)
{
    const std::string whole = writeSample();
    std::string flipped = whole;
    flipped[whole.find("done")] = 'D';
    constexpr char elf[] = "\x7f"
                           "ELF\x02\x01\x01\0\0\0garbage\n";
    const std::string garbage(elf, sizeof elf - 1);
    for (const std::string& bytes : {flipped, garbage}) {
        writeFile(m_path, bytes);
        const JournalContent content = supervise::parseJournal(bytes);
        EXPECT_TRUE(content.damaged);
        EXPECT_FALSE(content.problems.empty());
        for (const DrawingEntry& entry : content.drawings)
            EXPECT_NE(entry.state, State::Done);
        const auto opened = JournalWriter::open(m_path);
        ASSERT_FALSE(opened);
        EXPECT_EQ(opened.error().kind, supervise::JournalProblem::Kind::Damaged);
    }
}

TEST_F(Journal, AJournalWhoseMakingWasCutShortIsUnfinishedAndMadeAfresh)
{
    const std::string whole = writeSample();
    const std::size_t listEnd = whole.find(" drawings\t") - 8;
    // Empty, a piece of the first line, or cut at any line boundary before the list's end: nothing ran.
    std::vector<std::string> cuts = {std::string(), whole.substr(0, 12)};
    for (std::size_t at = 0; (at = whole.find('\n', at)) < listEnd; ++at)
        cuts.push_back(whole.substr(0, at + 1));
    for (const std::string& bytes : cuts) {
        const JournalContent content = supervise::parseJournal(bytes);
        EXPECT_FALSE(content.usable) << bytes.size();
        EXPECT_TRUE(content.unfinished) << bytes.size();
        EXPECT_FALSE(content.damaged) << bytes.size();
    }
    // Whole lines lost inside the list are damage, not a shorter list.
    std::string lost = whole;
    const std::size_t second = lost.find('\n', lost.find(" drawing\t")) + 1;
    lost.erase(second, lost.find('\n', second) + 1 - second);
    EXPECT_TRUE(supervise::parseJournal(lost).damaged);

    // The same command starts an unfinished journal afresh; a sound one or a stranger's file stays.
    using Kind = supervise::JournalProblem::Kind;
    JournalContent content;
    writeFile(m_path, cuts[3]);
    const auto unfinished = JournalWriter::open(m_path);
    ASSERT_FALSE(unfinished);
    EXPECT_EQ(unfinished.error().kind, Kind::Unfinished);
    const auto afresh = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy());
    EXPECT_TRUE(afresh) << afresh.error().message;
    ASSERT_TRUE(readBack(m_path, content));
    EXPECT_TRUE(content.usable);
    EXPECT_EQ(content.drawings.size(), m_names.size());
    for (const std::string& bytes : {whole, std::string("mina anteckningar\n")}) {
        writeFile(m_path, bytes);
        const auto created = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy());
        ASSERT_FALSE(created);
        EXPECT_EQ(created.error().kind, Kind::Exists);
        EXPECT_EQ(readFile(m_path), bytes);
    }
}

TEST_F(Journal, AWholeLastRecordSurvivesADamagedLineFeedAndDamageIsCountedNotListed)
{
    writeSample();
    {
        auto opened = JournalWriter::open(m_path);
        ASSERT_TRUE(opened) << opened.error().message;
        auto& journal = opened->writer;
        const std::size_t third[] = {2};
        const DrawingEntry done[] = {{m_names[2], State::Done, false, 3000, 4000, "0"}};
        ASSERT_TRUE(journal->settled(third, done));
    }
    for (const char last : {'x', '\0'}) {
        std::string bytes = readFile(m_path);
        bytes.back() = last;
        writeFile(m_path, bytes);
        auto opened = JournalWriter::open(m_path);
        ASSERT_TRUE(opened) << opened.error().message;
        auto& [journal, content] = *opened;
        EXPECT_EQ(content.drawings[2].state, State::Done);
        ASSERT_TRUE(journal->finished(5000, "klar"));
        journal.reset();
        ASSERT_TRUE(readBack(m_path, content));
        EXPECT_TRUE(content.problems.empty()) << content.problems.front();
        EXPECT_EQ(content.drawings[2].state, State::Done);
        EXPECT_TRUE(content.finished);
    }

    // A million empty lines: a handful named, the rest counted.
    const JournalContent content = supervise::parseJournal(readFile(m_path) + std::string(1000000, '\n'));
    EXPECT_TRUE(content.damaged);
    EXPECT_EQ(content.damagedLines, 1000000u);
    EXPECT_LE(content.problems.size(), 10u);
}

// A full disk in the middle of a record: what reached the file of it is taken back, so a record written once
// there is room again follows the last whole one instead of being glued to a piece of it.
TEST_F(Journal, AnAppendCutShortLeavesTheJournalAsItWas)
{
    const std::string before = writeSample();
    // The file-size limit stands in for the full disk, in a process of its own (its status says which step
    // went wrong).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        auto opened = JournalWriter::open(m_path);
        rlimit usual{};
        if (!opened || ::getrlimit(RLIMIT_FSIZE, &usual) != 0)
            ::_exit(10);
        auto& journal = opened->writer;
        const rlimit full{before.size() + 20, usual.rlim_max};
        const std::size_t rest[] = {2, 3};
        const DrawingEntry done[] = {{m_names[2], State::Done, false, 3000, 4000, "0"},
                                     {m_names[3], State::Done, false, 3000, 4000, "0"}};
        if (::setrlimit(RLIMIT_FSIZE, &full) != 0 || journal->settled(rest, done) || journal->finished(4000, "klar"))
            ::_exit(11);
        if (::setrlimit(RLIMIT_FSIZE, &usual) != 0 || !journal->finished(5000, "avbruten av fel"))
            ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string after = readFile(m_path);
    ASSERT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(std::count(after.begin() + static_cast<std::ptrdiff_t>(before.size()), after.end(), '\n'), 1);
    auto opened = JournalWriter::open(m_path);
    ASSERT_TRUE(opened) << opened.error().message;
    const JournalContent& content = opened->content;
    EXPECT_TRUE(content.problems.empty()) << content.problems.front();
    EXPECT_TRUE(content.finished);
    EXPECT_EQ(supervise::drawingsToResume(content), (std::vector<std::size_t>{2, 3}));
}

// A run left unfinished by the version before the counted drawing list is still taken up.
TEST(JournalFirstFormat, IsReadAsItAlwaysWas)
{
    const JournalContent content = supervise::parseJournal(
        "a50ae1ad vendrel-journal\t1\n"
        "b00e6b50 inputs\t/mallar/Rita om.scr\tfnv1a64:0000000000000000\tAcad\t/opt/cad/acad\t\t"
        "/opt/vendrel/helvscr.dwg\t/projekt/A1\t\t2\t1500\n"
        "36714334 drawing\tK01.dwg\n"
        "71d139e4 drawing\tK02.dwg\n"
        "4cb11054 drawing\tK03.dwg\n"
        "e660f954 start\t1000\t0\t1\n"
        "773ef98a result\t0\tdone\t0\t1000\t2000\t0\n");
    EXPECT_TRUE(content.usable);
    EXPECT_FALSE(content.damaged || content.unfinished) << (content.problems.empty() ? "" : content.problems[0]);
    ASSERT_EQ(content.drawings.size(), 3u);
    EXPECT_EQ(content.drawings[0].state, State::Done);
    EXPECT_EQ(content.drawings[1].state, State::Interrupted);
    EXPECT_EQ(supervise::drawingsToResume(content), (std::vector<std::size_t>{1, 2}));
    // Its batch size and time-out stood at the end of the inputs; the rest is as runs then went.
    EXPECT_EQ(content.policy.batchSize, 2u);
    EXPECT_EQ(content.policy.timeout, std::chrono::milliseconds(1500));
    EXPECT_EQ(content.policy.sessions, 1u);
    EXPECT_EQ(content.policy.marks, supervise::MarksChoice::Auto);
}

// A run taken up with other options keeps them for the runs after it; a job's file is named once, before the
// list; a policy where no policy may stand is damage.
TEST_F(Journal, ThePolicyOfTheLastRunOverItHolds)
{
    {
        auto created = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy(), "/jobb/natt.vjob");
        ASSERT_TRUE(created) << created.error().message;
        auto& journal = *created;
        supervise::RunPolicy other = samplePolicy();
        other.sessions = 5;
        other.marks = supervise::MarksChoice::Off;
        other.form.reset();
        other.sessionStart.clear();
        other.sessionEnd = "/mallar/slut.scr";
        ASSERT_TRUE(journal->policyChanged(other));
    }
    JournalContent content = supervise::parseJournal(readFile(m_path));
    ASSERT_FALSE(content.damaged) << content.problems.front();
    EXPECT_EQ(content.jobPath, "/jobb/natt.vjob");
    EXPECT_EQ(content.policy.sessions, 5u);
    EXPECT_EQ(content.policy.marks, supervise::MarksChoice::Off);
    EXPECT_FALSE(content.policy.form);
    EXPECT_EQ(content.policy.batchSize, 3u);
    EXPECT_EQ(content.policy.sessionStart, "");
    EXPECT_EQ(content.policy.sessionEnd, "/mallar/slut.scr");

    // Out of bounds (a journal written by hand, or by another version) is brought inside them, not damage.
    {
        auto opened = JournalWriter::open(m_path);
        ASSERT_TRUE(opened) << opened.error().message;
        auto& journal = opened->writer;
        supervise::RunPolicy wild;
        wild.batchSize = 5000;
        wild.timeout = std::chrono::milliseconds(1);
        wild.sessions = 900;
        ASSERT_TRUE(journal->policyChanged(wild));
    }
    content = supervise::parseJournal(readFile(m_path));
    EXPECT_FALSE(content.damaged);
    EXPECT_EQ(content.policy.batchSize, supervise::RunPolicy::maxBatchSize);
    EXPECT_EQ(content.policy.timeout, supervise::RunPolicy::minTimeout);
    EXPECT_EQ(content.policy.sessions, supervise::RunPolicy::maxSessions);
}

// A part of a split job keeps its part, and names the machine it went on on last.
TEST_F(Journal, APartKeepsItsPartAndTheMachineItRanOnLast)
{
    using supervise::ShardRecord;
    {
        auto journal = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy(), "/jobb/natt.vjob",
                                             ShardRecord{1, 3, "ws1"});
        ASSERT_TRUE(journal) << journal.error().message;
        ASSERT_TRUE((*journal)->shardMoved({1, 3, "ws2"}));
    }
    JournalContent content = supervise::parseJournal(readFile(m_path));
    ASSERT_FALSE(content.damaged) << content.problems.front();
    EXPECT_EQ(content.shard, (ShardRecord{1, 3, "ws2"}));
    {
        auto opened = JournalWriter::open(m_path);
        ASSERT_TRUE(opened) << opened.error().message;
        ASSERT_TRUE(opened->writer->shardMoved({2, 3, "ws3"}));
    }
    content = supervise::parseJournal(readFile(m_path));
    EXPECT_TRUE(content.damaged); // another part is no move
    EXPECT_EQ(content.shard, (ShardRecord{1, 3, "ws2"}));
}

// The journal before session scripts: its policy record has no paths for them, and the run has none; a record
// with them is damage there.
TEST(JournalFourthFormat, IsReadAsARunWithoutSessionScripts)
{
    const std::string head = "d5601522 vendrel-journal\t4\n"
                             "5c92da0f inputs\t/mallar/Rita om.scr\tfnv1a64:0000000000000000\tAcad\t/opt/cad/acad\t\t"
                             "/opt/vendrel/helvscr.dwg\t/projekt/A1\t\n";
    const std::string rest = "36714334 drawing\tK01.dwg\n"
                             "71d139e4 drawing\tK02.dwg\n"
                             "5eaef549 drawings\t2\t96a41999\n"
                             "773ef98a result\t0\tdone\t0\t1000\t2000\t0\n";
    const JournalContent content = supervise::parseJournal(head + "71adcfdb policy\t3\t1500\t2\ton\tconsole\n" + rest);
    ASSERT_TRUE(content.usable && !content.damaged) << (content.problems.empty() ? "" : content.problems[0]);
    EXPECT_EQ(content.drawings[0].state, State::Done);
    supervise::RunPolicy expected = samplePolicy();
    expected.sessionStart.clear();
    EXPECT_TRUE(content.policy == expected);
    EXPECT_FALSE(content.shard); // the fourth format had no parts
    EXPECT_TRUE(supervise::parseJournal(head + "e703f481 policy\t3\t1500\t2\ton\tconsole\t/s.scr\t\n" + rest).damaged);
}

TEST(JournalSecondFormat, KeepsItsSessionOpenUntilAResult)
{
    const JournalContent content = supervise::parseJournal(
        "3c03b017 vendrel-journal\t2\n"
        "b00e6b50 inputs\t/mallar/Rita om.scr\tfnv1a64:0000000000000000\tAcad\t/opt/cad/acad\t\t"
        "/opt/vendrel/helvscr.dwg\t/projekt/A1\t\t2\t1500\n"
        "36714334 drawing\tK01.dwg\n"
        "71d139e4 drawing\tK02.dwg\n"
        "5eaef549 drawings\t2\t96a41999\n"
        "e660f954 start\t1000\t0\t1\n"
        "a69b8986 session\tabc\n");
    EXPECT_TRUE(content.usable && !content.damaged);
    EXPECT_EQ(content.openSessions, std::vector<std::string>{"abc"});
    // Its batch script is the run's own.
    EXPECT_EQ(content.sessionsUsed, 1u);
}

TEST_F(Journal, ABatchStaysOpenUntilEachOfItsDrawingsHasAResult)
{
    {
        auto created = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy());
        ASSERT_TRUE(created) << created.error().message;
        auto& journal = *created;
        const std::size_t first[] = {0, 1}, second[] = {2, 3};
        EXPECT_TRUE(journal->batchStarted(1000, first, {1, "mark-1", true}));
        EXPECT_TRUE(journal->batchStarted(1000, second, {2, "mark-2", false}));
        // One drawing done by its mark, without a sync; the other given back to the queue.
        const DrawingEntry done{m_names[0], State::Done, false, 1000, 1500, "slutmärke"};
        const DrawingEntry pending{m_names[1], State::Pending, false, 0, 0, ""};
        EXPECT_TRUE(journal->settled(std::span(first, 1), std::span(&done, 1), false));
        EXPECT_TRUE(journal->settled(std::span(first + 1, 1), std::span(&pending, 1)));
        const DrawingEntry failed{m_names[2], State::Failed, false, 1000, 1600, "signal 11"};
        EXPECT_TRUE(journal->settled(std::span(second, 1), std::span(&failed, 1)));
    }
    JournalContent content;
    const auto read = readBack(m_path, content);
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(content.openBatches.size(), 1u);
    EXPECT_EQ(content.openBatches[0].info.session, 2u);
    EXPECT_FALSE(content.openBatches[0].info.marks);
    EXPECT_EQ(content.openBatches[0].indices, std::vector<std::size_t>{3});
    EXPECT_EQ(content.openSessions, std::vector<std::string>{"mark-2"});
    EXPECT_EQ(content.sessionsUsed, 2u);
    EXPECT_EQ(content.drawings[0].exitStatus, "slutmärke");
    EXPECT_EQ(supervise::drawingsToResume(content), (std::vector<std::size_t>{1, 3}));

    // A run that ends with a batch still open lost its results with the journal's writes (a full disk): the
    // batch stays open past the end, so the next run takes up what its marks file says is done.
    {
        auto opened = JournalWriter::open(m_path);
        ASSERT_TRUE(opened) << opened.error().message;
        ASSERT_TRUE(opened->writer->finished(2000, "avbruten av fel"));
    }
    const auto reread = readBack(m_path, content);
    ASSERT_TRUE(reread) << reread.error();
    EXPECT_TRUE(content.finished);
    ASSERT_EQ(content.openBatches.size(), 1u);
    EXPECT_EQ(content.openBatches[0].indices, std::vector<std::size_t>{3});
}

TEST_F(Journal, OneWriterAtATime)
{
    using Kind = supervise::JournalProblem::Kind;
    writeSample();
    JournalContent content;
    auto first = JournalWriter::open(m_path);
    ASSERT_TRUE(first) << first.error().message;
    const auto second = JournalWriter::open(m_path);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, Kind::Busy);
    // Reading is still possible, and a journal is never created over an existing one.
    EXPECT_TRUE(readBack(m_path, content));
    const auto created = JournalWriter::create(m_path, sampleInputs(m_names), samplePolicy());
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().kind, Kind::Exists);
    first->writer.reset();
    EXPECT_TRUE(JournalWriter::open(m_path));
}

TEST(RunsFolder, LiesInTheUsersDataFolder)
{
    TempFolder dir;
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    const auto runs = supervise::runsFolder();
    ASSERT_TRUE(runs) << runs.error();
    const std::string& folder = *runs;
    EXPECT_EQ(folder, dir / "Brannoc/Vendrel/runs");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    writeFile(dir / "Brannoc/Vendrel/runs/a.journal", "");
    writeFile(dir / "Brannoc/Vendrel/runs/a.scr", "");
    EXPECT_EQ(supervise::journalsIn(folder), std::vector<std::string>{folder + "/a.journal"});
}

} // namespace
