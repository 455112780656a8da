#include "report/account.h"

#include "os/pathtext.h"

#include <algorithm>
#include <map>

namespace report {

namespace {

std::string fileName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string sourceLabel(const std::string& journalPath, const supervise::JournalContent& content)
{
    // A part of a split job is told by its part and the machine it ran on last.
    if (content.shard)
        return "del " + std::to_string(content.shard->index) + " av " + std::to_string(content.shard->count) + ", " +
               content.shard->host;
    return pathText(fileName(journalPath));
}

Account accountOf(std::vector<Source> sources)
{
    Account account;
    account.sources = std::move(sources);
    std::int64_t latest = 0;
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> laneOf;
    const bool several = account.sources.size() > 1;
    for (std::size_t s = 0; s < account.sources.size(); ++s) {
        const supervise::JournalContent& content = account.sources[s].content;
        latest = std::max(latest, content.finishedMs);
        for (std::size_t i = 0; i < content.drawings.size(); ++i) {
            const supervise::DrawingEntry& entry = content.drawings[i];
            Row row;
            row.source = s;
            row.index = i;
            row.name = entry.name;
            row.state = entry.state;
            row.session = entry.session;
            row.beginMs = entry.startedMs;
            row.endMs = entry.endedMs;
            row.reason = entry.exitStatus;
            latest = std::max({latest, row.beginMs, row.endMs});
            if (row.beginMs != 0 && (account.startMs == 0 || row.beginMs < account.startMs))
                account.startMs = row.beginMs;
            ++account.counts[static_cast<std::size_t>(row.state)];
            if (row.session != 0)
                laneOf.emplace(std::pair(s, row.session), 0);
            account.rows.push_back(std::move(row));
        }
    }
    account.endMs = std::max(latest, account.startMs);
    for (auto& [key, lane] : laneOf) {
        lane = account.lanes.size();
        std::string label = "Session " + std::to_string(key.second);
        if (several)
            label = account.sources[key.first].label + " · " + label;
        account.lanes.push_back({key.first, key.second, std::move(label)});
    }
    for (Row& row : account.rows) {
        if (row.session != 0)
            row.lane = laneOf.at({row.source, row.session});
        if (row.beginMs != 0 && row.endMs == 0)
            row.endMs = account.endMs;
    }
    return account;
}

Result<Account> readAccount(std::span<const std::string> journalPaths)
{
    std::vector<Source> sources;
    for (const std::string& path : journalPaths) {
        auto content = supervise::readJournal(path);
        if (!content)
            return Result<Account>::failure("journalen " + pathText(path) + " kan inte läsas: " + content.error());
        if (!content->usable) {
            const std::string why = content->problems.empty() ? std::string("ingen körning") : content->problems.back();
            return Result<Account>::failure("journalen " + pathText(path) + " kan inte läsas: " + why);
        }
        Source source;
        source.journalPath = path;
        source.label = sourceLabel(path, *content);
        source.content = std::move(*content);
        sources.push_back(std::move(source));
    }
    return accountOf(std::move(sources));
}

} // namespace report
