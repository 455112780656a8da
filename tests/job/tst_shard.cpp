// A job split over machines: the part each drawing falls to, the journals that speak for the job, and the
// description HTCondor is given.
#include "job/condor.h"
#include "job/shard.h"
#include "os/pathtext.h"
#include "supervise/journal.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

std::vector<std::string> manyNames()
{
    std::vector<std::string> names;
    names.reserve(100000);
    // Names as offices number them: alike but for a few digits, in a few folders.
    for (int i = 0; i < 100000; ++i)
        names.push_back((i % 4 == 0 ? "" : "Hus " + std::to_string(i % 4) + "/") + "A-" + std::to_string(10000 + i) +
                        (i % 3 == 0 ? ".dwg" : ".DWG"));
    return names;
}

TEST(Shard, EveryNameFallsToExactlyOnePartOfEvenSize)
{
    const std::vector<std::string> names = manyNames();
    std::multiset<std::string> seen;
    for (std::size_t index = 0; index < 3; ++index) {
        const auto part = job::namesOfShard(names, {index, 3});
        seen.insert(part.begin(), part.end());
    }
    EXPECT_EQ(seen, std::multiset<std::string>(names.begin(), names.end()));

    for (const std::size_t count : {2u, 3u, 7u, 8u, 16u, 64u}) {
        std::vector<std::size_t> sizes(count);
        for (const std::string& name : names)
            ++sizes[job::shardOf(name, count)];
        // A hash gives sizes that vary as chance does: within four standard deviations of the mean, which for
        // up to 8 parts is within 4 % of it.
        const double mean = double(names.size()) / double(count);
        const double allowed = 4 * std::sqrt(mean);
        const auto [smallest, largest] = std::minmax_element(sizes.begin(), sizes.end());
        EXPECT_LE(double(*largest) - mean, allowed) << count << " parts, largest " << *largest;
        EXPECT_LE(mean - double(*smallest), allowed) << count << " parts, smallest " << *smallest;
    }
    // Names whose bytes pair up ("A-113355.dwg") have one parity of their bytes' lowest bits, which alone would
    // decide two parts for a hash that does not mix its low bits.
    std::size_t first = 0;
    for (char a = '0'; a <= '9'; ++a) {
        for (char b = '0'; b <= '9'; ++b) {
            for (char c = '0'; c <= '9'; ++c)
                first += job::shardOf(std::string("A-") + a + a + b + b + c + c + ".dwg", 2) == 0;
        }
    }
    EXPECT_GT(first, 400u);
    EXPECT_LT(first, 600u);
}

// The part is the name's alone, on every machine and in every version: a part taken up after an update, or by
// a Windows machine beside Linux ones, must find its drawings where it left them.
TEST(Shard, ThePartOfANameIsFixed)
{
    // Names reach it as the file system's bytes: the ANSI code page on Windows, which must give the same part.
    const std::string plan = systemText("Hus 2/Plan 3 öst.dwg");
    EXPECT_EQ(job::shardOf("K01.dwg", 64), 33u);
    EXPECT_EQ(job::shardOf(plan, 1000), 165u);
    // As the job's filter compares names: without regard to case, and either separator.
    for (const char* same : {"hus 2/PLAN 3 ÖST.DWG", "Hus 2\\Plan 3 öst.dwg"})
        EXPECT_EQ(job::shardOf(systemText(same), 1000), 165u) << same;
    EXPECT_EQ(job::shardOf("K01.dwg", 1), 0u);
}

TEST(Shard, ThePartIsReadAsKOfN)
{
    EXPECT_EQ(*job::parseShard("0/1"), (job::Shard{0, 1}));
    EXPECT_EQ(*job::parseShard("63/64"), (job::Shard{63, 64}));
    for (const char* bad : {"3/3", "0/0", "-1/3", "1/-3", "a/b", "1", "1/", "/3", "1/3/5", " 1/3", "1/3 ", "0x1/3",
                            "1/10001", "99999999999999999999/3"})
        EXPECT_FALSE(job::parseShard(bad)) << bad;
    EXPECT_NE(job::parseShard("3/3").error().find("räknas från 0"), std::string::npos);
}

// The submit description, key by key, and its arguments as HTCondor splits them.
std::map<std::string, std::string> descriptionKeys(const std::string& text, std::string& queue)
{
    std::map<std::string, std::string> keys;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.starts_with("queue")) {
            queue = line;
            continue;
        }
        const std::size_t equals = line.find(" = ");
        EXPECT_NE(equals, std::string::npos) << line;
        std::string key = line.substr(0, equals);
        key.erase(key.find_last_not_of(' ') + 1);
        EXPECT_FALSE(keys.count(key)) << "twice: " << key;
        keys[key] = line.substr(equals + 3);
    }
    return keys;
}

// HTCondor's quoted form of "arguments": blanks split, single quotes group ('' is one quote), "" is one '"';
// then $(DOLLAR) stands for '$'.
std::vector<std::string> argumentWords(std::string value)
{
    EXPECT_TRUE(value.size() >= 2 && value.front() == '"' && value.back() == '"') << value;
    value = value.substr(1, value.size() - 2);
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"' && i + 1 < value.size() && value[i + 1] == '"') {
            word.push_back('"');
            ++i;
        } else if (c == '\'' && quoted && i + 1 < value.size() && value[i + 1] == '\'') {
            word.push_back('\'');
            ++i;
        } else if (c == '\'') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any || !word.empty())
                words.push_back(word);
            word.clear();
            any = false;
        } else {
            word.push_back(c);
        }
    }
    if (any || !word.empty())
        words.push_back(word);
    for (std::string& each : words) {
        for (std::size_t dollar; (dollar = each.find("$(DOLLAR)")) != std::string::npos;)
            each.replace(dollar, 9, "$");
    }
    return words;
}

TEST(Condor, TheDescriptionRunsEveryPartOnce)
{
    job::CondorRequest request;
    request.program = "/usr/local/bin/vendrel-run";
    request.jobPath = "/srv/Jobb å/natt's \"$(x)\".vjob";
    request.runsFolder = "/srv/vendrel/natt körningar";
    request.shards = 3;
    request.requirements = "OpSys == \"WINDOWS\" && HasCad =?= true";
    std::string queue;
    auto keys = descriptionKeys(*job::condorDescription(request), queue);
    EXPECT_EQ(queue, "queue 3");
    EXPECT_EQ(keys["executable"], request.program);
    EXPECT_EQ(keys["transfer_executable"], "false");
    EXPECT_EQ(
        argumentWords(keys["arguments"]),
        (std::vector<std::string>{"--job", request.jobPath, "--shard", "$(Process)/3", "--runs", request.runsFolder}));
    const std::string stem = request.runsFolder + char(std::filesystem::path::preferred_separator) +
                             "natt's \"$(DOLLAR)(x)\"-del$(Process)av3.";
    for (const char* file : {"output", "error", "log"})
        EXPECT_EQ(keys[file].rfind(stem, 0), 0u) << keys[file];
    EXPECT_NE(keys["output"], keys["error"]);
    EXPECT_EQ(keys["run_as_owner"], "true");
    EXPECT_EQ(keys["kill_sig"], "SIGTERM");
    EXPECT_GE(std::stoi(keys["job_max_vacate_time"]), 60);
    EXPECT_EQ(keys["requirements"], request.requirements);

    // One part alone, to submit it again.
    request.only = 1;
    request.requirements.clear();
    keys = descriptionKeys(*job::condorDescription(request), queue);
    EXPECT_EQ(queue, "queue 1");
    EXPECT_EQ(argumentWords(keys["arguments"])[3], "1/3");
    EXPECT_EQ(keys["log"].find("$(Process)"), std::string::npos);
    EXPECT_FALSE(keys.count("requirements"));

    request.requirements = "true\nqueue 100";
    EXPECT_FALSE(job::condorDescription(request));
}

TEST(Condor, PathsOtherMachinesCannotReachAreNamed)
{
    const std::vector<Drive> drives = {{"/", "/", DriveType::Fixed},
                                       {"/srv/vendrel [nas:/export]", "/srv/vendrel", DriveType::Remote},
                                       {"/media/usb [USB]", "/media/usb", DriveType::Removable},
                                       {"n: [\\\\nas\\ritn]", "n:", DriveType::Remote},
                                       {"c: [SYSTEM]", "c:", DriveType::Fixed}};
    const auto warnings = job::unreachableWarnings({{"jobbfilen", "/srv/vendrel/natt.vjob"},
                                                    {"mallen", "/home/anna/mallar/rensa.scr"},
                                                    {"ritningsmappen", "/srv/vendrelx/ritn"},
                                                    {"journalmappen", "/media/usb/runs"},
                                                    {"startritningen", "N:\\start.dwg"},
                                                    {"mallen", "\\\\nas\\mallar\\rensa.scr"},
                                                    {"ritningsmappen", "C:\\Ritningar"}},
                                                   drives);
    ASSERT_EQ(warnings.size(), 5u);
    EXPECT_EQ(warnings[0].rfind("mallen /home/anna/mallar/rensa.scr ligger på den här datorns egen disk", 0), 0u);
    EXPECT_EQ(warnings[1].rfind("ritningsmappen /srv/vendrelx/ritn ligger", 0), 0u) << warnings[1];
    EXPECT_NE(warnings[2].find("(/media/usb [USB])"), std::string::npos) << warnings[2];
    EXPECT_NE(warnings[3].find("nätverksenheten n:"), std::string::npos) << warnings[3];
    EXPECT_EQ(warnings[4].rfind("ritningsmappen C:\\Ritningar ligger", 0), 0u) << warnings[4];
}

// Journals of runs of a job, made as vendrel-run makes them: named after the job (and the part), naming the job
// file inside.
class ShardJournals : public ::testing::Test
{
protected:
    std::string journal(const std::string& stamp, std::optional<job::Shard> part, const std::string& jobPath,
                        bool leftOpen = false, std::size_t drawings = 2)
    {
        const std::string name =
            "natt-" +
            (part ? "del" + std::to_string(part->index) + "av" + std::to_string(part->count) + "-" : std::string()) +
            "20261208-" + stamp + "-000-1.journal";
        script::RunRequest request;
        request.templatePath = "/m.scr";
        request.cad.path = "/cad";
        request.listingFolder = "/ritn";
        for (std::size_t i = 0; i < drawings; ++i)
            request.drawings.push_back(stamp + "-" + std::to_string(i) + ".dwg");
        std::optional<supervise::ShardRecord> shard;
        if (part)
            shard = supervise::ShardRecord{part->index, part->count, "ws" + std::to_string(part->index)};
        const std::string path = m_dir.file(name);
        auto created = supervise::JournalWriter::create(path, request, {}, jobPath, shard);
        EXPECT_TRUE(created) << created.error().message;
        auto& writer = *created;
        std::vector<std::size_t> indices;
        std::vector<supervise::DrawingEntry> entries;
        for (std::size_t i = leftOpen ? 1 : 0; i < drawings; ++i) {
            indices.push_back(i);
            entries.push_back({request.drawings[i], supervise::State::Done, false, 1, 2, "0"});
        }
        EXPECT_TRUE(writer->settled(indices, entries));
        EXPECT_TRUE(writer->finished(3, leftOpen ? "avbruten" : "klar"));
        return path;
    }
    std::vector<std::string> account(std::optional<job::Shard> part = std::nullopt, std::size_t* shards = nullptr,
                                     std::vector<std::size_t>* missing = nullptr)
    {
        const job::JobAccount found = job::jobAccount(m_job, m_dir.path().string(), part);
        if (shards)
            *shards = found.shards;
        if (missing)
            *missing = found.missing;
        std::vector<std::string> names;
        for (const std::string& path : found.journals)
            names.push_back(std::filesystem::path(path).filename().string());
        return names;
    }

    TempDir m_dir;
    std::string m_job = "/jobb/natt.vjob";
};

TEST_F(ShardJournals, TheJobIsItsLatestRunsPartsAndNoOtherJobs)
{
    journal("100000", std::nullopt, m_job);     // a run before the job was split
    journal("110000", job::Shard{0, 2}, m_job); // an earlier split in two
    journal("120000", job::Shard{0, 3}, m_job);
    journal("120001", job::Shard{2, 3}, m_job, true);
    journal("130000", job::Shard{0, 3}, m_job);              // part 0 ran again: its latest journal speaks for it
    journal("140000", job::Shard{1, 3}, "/annat/natt.vjob"); // another job of the same name
    journal("150000", std::nullopt, "/annat/natt.vjob");
    std::size_t shards = 0;
    std::vector<std::size_t> missing;
    EXPECT_EQ(account(std::nullopt, &shards, &missing),
              (std::vector<std::string>{"natt-del0av3-20261208-130000-000-1.journal",
                                        "natt-del2av3-20261208-120001-000-1.journal"}));
    EXPECT_EQ(shards, 3u);
    EXPECT_EQ(missing, std::vector<std::size_t>{1});
    EXPECT_EQ(account(job::Shard{2, 3}), std::vector<std::string>{"natt-del2av3-20261208-120001-000-1.journal"});
    EXPECT_EQ(account(job::Shard{1, 2}, nullptr, &missing), std::vector<std::string>{});
    EXPECT_EQ(missing, std::vector<std::size_t>{1});

    // Part 2 was cut short: it takes up its journal, and no other split may run beside it.
    const std::string root = m_dir.path().string();
    EXPECT_EQ(job::unfinishedPart(m_job, root, {2, 3}), m_dir.file("natt-del2av3-20261208-120001-000-1.journal"));
    EXPECT_FALSE(job::unfinishedPart(m_job, root, {0, 3}));
    EXPECT_FALSE(job::otherSplitUnfinished(m_job, root, job::Shard{1, 3}));
    for (const std::optional<job::Shard> other : {std::optional<job::Shard>{}, std::optional(job::Shard{0, 4})}) {
        const auto refused = job::otherSplitUnfinished(m_job, root, other);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->shards, 3u);
    }

    // A later run of the whole job speaks for it alone.
    journal("160000", std::nullopt, m_job);
    EXPECT_EQ(account(std::nullopt, &shards), std::vector<std::string>{"natt-20261208-160000-000-1.journal"});
    EXPECT_EQ(shards, 0u);
    EXPECT_FALSE(job::otherSplitUnfinished(m_job, root, job::Shard{0, 4}));
}

} // namespace
