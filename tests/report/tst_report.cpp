// The morning report over real journals: what the account makes of them, the page and the table read back by
// Python's HTML parser and csv module, the page rendered by headless Chromium, and folders that refuse it.

#include "report/report.h"
#include "report/timeline.h"
#include "supervise/journal.h"
#include "support/tempfolder.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using supervise::State;

// A drawing of a batch as the journal gets it: its state, its times from the run's start, its reason.
struct Settle
{
    std::size_t index;
    State state;
    std::int64_t beginS, endS;
    std::string reason;
};

constexpr std::int64_t start = 1'796'000'000'000; // a night in 2026, in ms

class Report : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.valid()); }

    std::unique_ptr<supervise::JournalWriter> journal(const std::string& name, const std::vector<std::string>& names)
    {
        script::RunRequest request;
        request.templatePath = m_dir / "rensa.scr";
        request.cad.path = "/opt/cad/cad";
        request.listingFolder = m_dir / "ritningar";
        request.drawings = names;
        auto writer = supervise::JournalWriter::create(m_dir / name, request, {});
        EXPECT_TRUE(writer) << writer.error().message;
        return writer ? std::move(*writer) : nullptr;
    }
    static void batch(supervise::JournalWriter& journal, std::size_t session, std::int64_t atS,
                      const std::vector<Settle>& settles)
    {
        std::vector<std::size_t> indices;
        std::vector<supervise::DrawingEntry> entries;
        for (const Settle& settle : settles) {
            indices.push_back(settle.index);
            supervise::DrawingEntry entry;
            entry.state = settle.state;
            entry.startedMs = start + settle.beginS * 1000;
            entry.endedMs = start + settle.endS * 1000;
            entry.exitStatus = settle.reason;
            entries.push_back(entry);
        }
        ASSERT_TRUE(journal.batchStarted(start + atS * 1000, indices, {session, "m", true}));
        // A drawing with the state pending stands for one whose batch died without a result.
        std::erase_if(indices, [&](std::size_t i) {
            return std::any_of(settles.begin(), settles.end(),
                               [i](const Settle& s) { return s.index == i && s.state == State::Pending; });
        });
        std::erase_if(entries, [](const supervise::DrawingEntry& e) { return e.state == State::Pending; });
        ASSERT_TRUE(journal.settled(indices, entries, false));
    }

    report::Account account(const std::vector<std::string>& journals)
    {
        std::vector<std::string> paths;
        for (const std::string& name : journals)
            paths.push_back(m_dir / name);
        auto account = report::readAccount(paths);
        EXPECT_TRUE(account) << (account ? "" : account.error());
        return account ? std::move(*account) : report::Account{};
    }

    // What readreport.py prints for the file, a line each.
    static std::vector<std::string> readBack(const std::string& mode, const std::string& path,
                                             const std::string& more = {})
    {
        const std::string command = "python3 '" READREPORT "' " + mode + " '" + path + "' " + more;
        std::vector<std::string> lines;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return lines;
        std::string out;
        char buffer[65536];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, got);
        EXPECT_EQ(::pclose(pipe), 0) << command;
        for (std::size_t at = 0; at < out.size();) {
            const std::size_t end = out.find('\n', at);
            lines.push_back(out.substr(at, end - at));
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return lines;
    }
    static std::vector<std::string> starting(const std::vector<std::string>& lines, const std::string& kind)
    {
        std::vector<std::string> found;
        for (const std::string& line : lines) {
            if (line.starts_with(kind + "\t"))
                found.push_back(line.substr(kind.size() + 1));
        }
        return found;
    }

    TempFolder m_dir;
};

TEST_F(Report, TheAccountHasEachDrawingsSessionTimesAndALanePerSession)
{
    {
        auto night = journal("natt.journal", {"A.dwg", "B.dwg", "C.dwg", "D.dwg"});
        batch(*night, 1, 0, {{0, State::Done, 2, 10, "slutmärke"}, {1, State::Failed, 10, 30, "signal 11"}});
        batch(*night, 2, 5, {{2, State::Pending, 0, 0, {}}}); // its session died with it: no result
        ASSERT_TRUE(night->finished(start + 100'000, "klar"));
    }
    const report::Account one = account({"natt.journal"});
    ASSERT_EQ(one.rows.size(), 4u);
    EXPECT_EQ(one.startMs, start + 2000);
    EXPECT_EQ(one.endMs, start + 100'000);
    const report::Row& failed = one.rows[1];
    EXPECT_EQ(failed.session, 1u);
    EXPECT_EQ(failed.durationMs(), 20'000);
    EXPECT_EQ(failed.reason, "signal 11");
    // The drawing whose batch had no result began with its batch and lasts as long as the account knows.
    const report::Row& cut = one.rows[2];
    EXPECT_EQ(cut.state, State::Interrupted);
    EXPECT_EQ(cut.session, 2u);
    EXPECT_EQ(cut.beginMs, start + 5000);
    EXPECT_EQ(cut.endMs, one.endMs);
    EXPECT_EQ(one.rows[3].lane, report::Row::noLane);
    ASSERT_EQ(one.lanes.size(), 2u);
    EXPECT_EQ(one.lanes[1].label, "Session 2");
    EXPECT_EQ(one.counts[static_cast<std::size_t>(State::Pending)], 1u);

    // Several journals: a lane per journal and session, named after the journal.
    {
        auto other = journal("natt-2.journal", {"E.dwg"});
        batch(*other, 1, 50, {{0, State::TimedOut, 50, 80, "signal 9"}});
    }
    const report::Account both = account({"natt.journal", "natt-2.journal"});
    ASSERT_EQ(both.lanes.size(), 3u);
    EXPECT_EQ(both.lanes[2].label, "natt-2.journal · Session 1");
    EXPECT_EQ(both.rows.back().lane, 2u);
}

TEST_F(Report, ThePageEscapesNamesHasALanePerSessionABlockPerDrawingAndFetchesNothing)
{
    const std::vector<std::string> names = {"<b>Plan</b> & \"snitt\".dwg", "</script><script>x()</script>.dwg",
                                            "K;3.dwg", "Fasad 'ö'.dwg"};
    {
        auto night = journal("natt.journal", names);
        batch(*night, 1, 0, {{0, State::Done, 0, 60, "slutmärke"}, {1, State::Failed, 60, 90, "<&> \"x\""}});
        batch(*night, 2, 0, {{2, State::TimedOut, 0, 600, "signal 9"}});
        batch(*night, 3, 0, {{3, State::Done, 0, 300, "0"}});
    }
    const report::Account account = this->account({"natt.journal"});
    const std::string page = m_dir / "natt.html";
    ASSERT_TRUE(report::writeReport(account, {page, m_dir / "natt.csv"}));
    const auto lines = readBack("html", page);
    EXPECT_EQ(starting(lines, "fetch"), std::vector<std::string>{});
    EXPECT_EQ(starting(lines, "lane"), (std::vector<std::string>{"Session 1", "Session 2", "Session 3"}));
    const auto drawings = starting(lines, "drawing");
    ASSERT_EQ(drawings.size(), names.size());
    // The tooltip begins with the name exactly, and the failure's reason follows it.
    EXPECT_TRUE(drawings[1].starts_with("failed\t</script><script>x()</script>.dwg\\nmisslyckad, ")) << drawings[1];
    EXPECT_TRUE(drawings[1].ends_with("\\n<&> \"x\"")) << drawings[1];
    const auto cells = starting(lines, "cell");
    EXPECT_NE(std::find(cells.begin(), cells.end(), names[0]), cells.end());
    EXPECT_EQ(starting(lines, "band"), std::vector<std::string>{});
}

TEST_F(Report, ALargeRunGathersItsShortDrawingsIntoBandsAndLosesNone)
{
    constexpr std::size_t drawings = 20000, sessions = 8;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < drawings; ++i)
        names.push_back("K" + std::to_string(i) + ".dwg");
    {
        auto night = journal("natt.journal", names);
        std::vector<std::int64_t> at(sessions, 0);
        for (std::size_t i = 0; i < drawings; i += 10) {
            const std::size_t session = i / 10 % sessions;
            std::vector<Settle> settles;
            for (std::size_t k = i; k < i + 10; ++k, at[session] += 10)
                settles.push_back({k, k % 97 == 0 ? State::Failed : State::Done, at[session], at[session] + 10, "0"});
            batch(*night, session + 1, settles.front().beginS, settles);
        }
    }
    const report::Account account = this->account({"natt.journal"});
    const auto shapes = report::timelineShapes(account, 1000);
    std::size_t counted = 0, bands = 0;
    for (const report::Shape& shape : shapes) {
        counted += shape.count;
        bands += shape.kind == report::Shape::Kind::Band;
    }
    EXPECT_EQ(counted, drawings);
    EXPECT_GT(bands, 0u);
    EXPECT_LT(shapes.size(), drawings / 10);

    const std::string page = m_dir / "natt.html";
    ASSERT_TRUE(report::writeReport(account, {page, m_dir / "natt.csv"}));
    const auto lines = readBack("html", page);
    EXPECT_EQ(starting(lines, "lane").size(), sessions);
    // A failure among done drawings is far from the next one: it keeps a block of its own, with its name.
    const auto failed = std::count_if(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.starts_with("drawing\tfailed\t"); });
    EXPECT_EQ(std::size_t(failed), account.counts[static_cast<std::size_t>(State::Failed)]);
    EXPECT_FALSE(starting(lines, "band").empty());
}

TEST_F(Report, TheTableReadsBackInColumnsWithSemicolonsQuotesAndLineFeeds)
{
    {
        auto night = journal("natt.journal", {"Plan;1.dwg", "Snitt \"A\".dwg", "Rad\nbrytning.dwg", "Å.dwg"});
        batch(*night, 1, 0,
              {{0, State::Done, 0, 1, "0"},
               {1, State::Failed, 1, 3, "kunde inte startas: \"x\"; y"},
               {2, State::Done, 3, 4, "0"}});
    }
    const report::Account account = this->account({"natt.journal"});
    const std::string table = m_dir / "natt.csv";
    ASSERT_TRUE(report::writeReport(account, {m_dir / "natt.html", table}));
    const auto rows = readBack("csv", table);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], "Ritning\tTillstånd\tSession\tBörjan\tSlut\tSekunder\tOrsak");
    EXPECT_TRUE(rows[1].starts_with("Plan;1.dwg\tdone\t1\t")) << rows[1];
    EXPECT_TRUE(rows[2].starts_with("Snitt \"A\".dwg\tfailed\t1\t")) << rows[2];
    EXPECT_TRUE(rows[2].ends_with("\t2,000\tkunde inte startas: \"x\"; y")) << rows[2];
    EXPECT_TRUE(rows[3].starts_with("Rad\\nbrytning.dwg\tdone\t")) << rows[3];
    EXPECT_EQ(rows[4], "Å.dwg\tpending\t\t\t\t\t");
}

TEST_F(Report, ARenderedPageShowsEachLaneInItsStatesColour)
{
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed (tools/setup installs it): the page was not rendered";
    {
        auto night = journal("natt.journal", {"A.dwg", "B.dwg", "C.dwg", "D.dwg"});
        batch(*night, 1, 0, {{0, State::Done, 0, 100, "0"}});
        batch(*night, 2, 0, {{1, State::Failed, 0, 100, "1"}});
        batch(*night, 3, 0, {{2, State::TimedOut, 0, 100, "signal 9"}});
        batch(*night, 4, 0, {{3, State::Interrupted, 0, 100, "signal 15"}});
    }
    const std::string page = m_dir / "natt.html";
    ASSERT_TRUE(report::writeReport(this->account({"natt.journal"}), {page, m_dir / "natt.csv"}));
    const std::string picture = m_dir / "natt.png";
    const std::string command = "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
                                "--window-size=1280,800 --screenshot='" +
                                picture + "' 'file://" + page + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The colours of done, failed, timed-out and interrupted: each most frequent in its own lane, lane by lane.
    const auto rows = readBack("rows", picture, "47,158,68 224,49,49 240,140,0 112,72,232");
    ASSERT_EQ(rows.size(), 4u);
    int above = -1;
    for (const std::string& row : rows) {
        const int y = std::stoi(row.substr(0, row.find('\t')));
        const int count = std::stoi(row.substr(row.find('\t') + 1));
        EXPECT_GT(count, 500) << row; // a lane's width, not a legend's chip
        EXPECT_GT(y, above) << row;
        above = y;
    }
}

TEST_F(Report, AFolderThatRefusesTheReportGetsAMessageAndKeepsWhatWasThere)
{
    {
        auto night = journal("natt.journal", {"A.dwg"});
        batch(*night, 1, 0, {{0, State::Done, 0, 1, "0"}});
    }
    const report::Account account = this->account({"natt.journal"});
    // A folder standing where the page should go.
    std::filesystem::create_directories(m_dir / "natt.html");
    const auto refused = report::writeReport(account, report::reportPathsFor(m_dir / "natt.journal"));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("natt.html"), std::string::npos) << refused.error();
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "natt.html"));

    if (::geteuid() == 0)
        GTEST_SKIP() << "as root a read-only folder takes the files all the same";
    std::filesystem::create_directories(m_dir / "skrivskyddad");
    writeFile(m_dir / "skrivskyddad/natt.csv", "förra");
    ::chmod((m_dir / "skrivskyddad").c_str(), 0555);
    const auto readOnly = report::writeReport(account, report::reportPathsAt(m_dir / "skrivskyddad/natt"));
    ::chmod((m_dir / "skrivskyddad").c_str(), 0755);
    ASSERT_FALSE(readOnly);
    EXPECT_EQ(readFile(m_dir / "skrivskyddad/natt.csv"), "förra");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "skrivskyddad/natt.html"));
}

} // namespace
