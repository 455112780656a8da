#include "job/shard.h"

#include "job/jobrun.h"
#include "os/casefolding.h"
#include "os/folders.h"
#include "supervise/journal.h"
#include "supervise/runfiles.h"
#include "supervise/runstart.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace job {

namespace {

// A journal in the runs folder whose name is one of the job's: of a run of the whole job, or of a part.
struct NamedJournal
{
    std::string path;
    std::optional<Shard> part; // as its name says
    std::string stamp;         // the moment in its name: later runs have greater stamps
};

std::optional<std::size_t> wholeNumber(std::string_view text)
{
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool digits(std::string_view text, std::size_t count)
{
    return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The moment newJournalName gives a journal: "YYYYMMDD-HHMMSS-mmm-<process>.journal".
bool isStamp(std::string_view name)
{
    constexpr std::string_view ending = ".journal";
    if (name.size() < 20 + ending.size() || !name.ends_with(ending))
        return false;
    name.remove_suffix(ending.size());
    return digits(name.substr(0, 8), 8) && name[8] == '-' && digits(name.substr(9, 6), 6) && name[15] == '-' &&
           digits(name.substr(16, 3), 3) && name[19] == '-' && wholeNumber(name.substr(20));
}

// "del<K>av<N>-" at the start of rest; rest is left after it.
std::optional<Shard> partInName(std::string_view& rest)
{
    if (!rest.starts_with("del"))
        return std::nullopt;
    const auto av = rest.find("av", 3);
    const auto dash = rest.find('-', 3);
    if (av == std::string_view::npos || dash == std::string_view::npos || av > dash)
        return std::nullopt;
    const auto index = wholeNumber(rest.substr(3, av - 3));
    const auto count = wholeNumber(rest.substr(av + 2, dash - av - 2));
    if (!index || !count || *index >= *count)
        return std::nullopt;
    rest.remove_prefix(dash + 1);
    return Shard{*index, *count};
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of(folderSeparator == '/' ? "/" : "/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<Shard> partOf(const supervise::JournalContent& content)
{
    if (!content.shard)
        return std::nullopt;
    return Shard{content.shard->index, content.shard->count};
}

// Journals read once within one question; a journal that cannot be read is nobody's.
class Reader
{
public:
    explicit Reader(std::string jobPath) : m_jobPath(std::move(jobPath)) {}
    const supervise::JournalContent* own(const std::string& path)
    {
        auto [at, added] = m_read.try_emplace(path);
        if (added) {
            auto read = supervise::readJournal(path);
            if (read && read->usable && read->jobPath == m_jobPath)
                at->second = std::move(*read);
        }
        return at->second ? &*at->second : nullptr;
    }
    // The newest journal of the job's own that runs part, among those whose names say so.
    std::optional<std::string> latest(const std::vector<NamedJournal>& journals, const std::optional<Shard>& part)
    {
        for (auto journal = journals.rbegin(); journal != journals.rend(); ++journal) {
            if (journal->part != part)
                continue;
            const supervise::JournalContent* content = own(journal->path);
            if (content && partOf(*content) == part)
                return journal->path;
        }
        return std::nullopt;
    }

private:
    std::string m_jobPath;
    std::map<std::string, std::optional<supervise::JournalContent>> m_read;
};

bool hasDrawingsLeft(const supervise::JournalContent& content)
{
    return !content.damaged && !content.unfinished && !supervise::drawingsToResume(content).empty();
}

JobAccount accountOf(Reader& reader, const std::vector<NamedJournal>& journals, const std::optional<Shard>& part)
{
    JobAccount account;
    if (part) {
        account.shards = part->count;
        if (auto latest = reader.latest(journals, part)) {
            account.journals.push_back(std::move(*latest));
            account.parts.push_back(part->index);
        } else {
            account.missing.push_back(part->index);
        }
        return account;
    }
    // The job's latest run decides how the job was split.
    for (auto journal = journals.rbegin(); journal != journals.rend(); ++journal) {
        const supervise::JournalContent* content = reader.own(journal->path);
        if (!content || partOf(*content) != journal->part)
            continue;
        if (!content->shard) {
            account.journals.push_back(journal->path);
            return account;
        }
        account.shards = content->shard->count;
        break;
    }
    for (std::size_t index = 0; index < account.shards; ++index) {
        if (auto latest = reader.latest(journals, Shard{index, account.shards})) {
            account.journals.push_back(std::move(*latest));
            account.parts.push_back(index);
        } else {
            account.missing.push_back(index);
        }
    }
    return account;
}

} // namespace

Result<Shard> parseShard(std::string_view text)
{
    const auto slash = text.find('/');
    const auto index = slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(0, slash));
    const auto count = slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(slash + 1));
    if (!index || !count)
        return Result<Shard>::failure("K/N, delens nummer från 0 och antalet delar, till exempel 0/4");
    if (*count == 0)
        return Result<Shard>::failure("minst en del (N är 0)");
    if (*count > maxShards)
        return Result<Shard>::failure("högst " + std::to_string(maxShards) + " delar");
    if (*index >= *count)
        return Result<Shard>::failure("en del från 0 till " + std::to_string(*count - 1) + " (delarna räknas från 0)");
    return Shard{*index, *count};
}

std::size_t shardOf(std::string_view name, std::size_t count)
{
    // The name as the job's filter compares names: case folded and in UTF-8, with '/' between folders. So a
    // drawing is one part's on a Windows and a Linux machine of one pool alike (the ANSI code page and '\' there),
    // and a name the job lists in another case than the folder gives it is still the same drawing.
    std::string key(name);
    std::replace(key.begin(), key.end(), '\\', '/');
    key = nameSortKey(key);
    // FNV-1a 64: fixed for ever, unlike std::hash, which may change with the library.
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : key)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    // FNV-1a's low bits are poorly mixed (the lowest is the parity of the bytes' lowest bits), and a remainder by
    // a small count reads little else: this finaliser (MurmurHash3's) spreads every bit over them.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53u;
    hash ^= hash >> 33;
    return static_cast<std::size_t>(hash % count);
}

std::vector<std::string> namesOfShard(std::vector<std::string> names, const Shard& part)
{
    std::erase_if(names, [&](const std::string& name) { return shardOf(name, part.count) != part.index; });
    return names;
}

std::string shardJournalName(const std::string& jobPath, const Shard& part)
{
    return jobName(jobPath) + "-del" + std::to_string(part.index) + "av" + std::to_string(part.count) + "-" +
           supervise::newJournalName();
}

namespace {

// The job's named journals, oldest first.
std::vector<NamedJournal> namedJournals(const std::string& jobPath, const std::string& runsFolder)
{
    const std::string prefix = jobName(jobPath) + "-";
    std::vector<NamedJournal> named;
    for (std::string& path : supervise::journalsIn(runsFolder)) {
        const std::string name = fileNameOf(path);
        if (!name.starts_with(prefix))
            continue;
        std::string_view rest = std::string_view(name).substr(prefix.size());
        const std::optional<Shard> part = partInName(rest);
        if (!isStamp(rest))
            continue;
        named.push_back({std::move(path), part, std::string(rest)});
    }
    std::sort(named.begin(), named.end(),
              [](const NamedJournal& a, const NamedJournal& b) { return a.stamp < b.stamp; });
    return named;
}

} // namespace

std::optional<std::string> unfinishedPart(const std::string& jobPath, const std::string& runsFolder, const Shard& part)
{
    Reader reader(jobPath);
    auto latest = reader.latest(namedJournals(jobPath, runsFolder), part);
    if (!latest || !hasDrawingsLeft(*reader.own(*latest)))
        return std::nullopt;
    return latest;
}

JobAccount jobAccount(const std::string& jobPath, const std::string& runsFolder, const std::optional<Shard>& part)
{
    Reader reader(jobPath);
    return accountOf(reader, namedJournals(jobPath, runsFolder), part);
}

std::optional<OtherSplit> otherSplitUnfinished(const std::string& jobPath, const std::string& runsFolder,
                                               const std::optional<Shard>& part)
{
    Reader reader(jobPath);
    const JobAccount latest = accountOf(reader, namedJournals(jobPath, runsFolder), std::nullopt);
    if (latest.shards == (part ? part->count : 0))
        return std::nullopt;
    for (const std::string& journal : latest.journals) {
        if (const supervise::JournalContent* content = reader.own(journal); content && hasDrawingsLeft(*content))
            return OtherSplit{journal, latest.shards};
    }
    return std::nullopt;
}

} // namespace job
