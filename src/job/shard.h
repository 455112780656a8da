#pragma once

#include "os/result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A job split over machines (vendrel-run --job FILE --shard K/N): which of the job's drawings a part takes, the
// journals of the parts, and the journals that speak for the job as a whole. Plain C++; paths are the file
// system's bytes.
namespace job {

// Part index of count, counted from 0 as HTCondor's $(Process) and Slurm's array index count.
struct Shard
{
    std::size_t index = 0;
    std::size_t count = 1;
    friend bool operator==(const Shard&, const Shard&) = default;
};

// More parts than this are a typing error rather than a pool.
inline constexpr std::size_t maxShards = 10000;

// "K/N", with 0 <= K < N <= maxShards; otherwise a message that says what is wrong with it.
Result<Shard> parseShard(std::string_view text);

// The part of count that a drawing falls to, from its name relative to the job's drawings folder (the file
// system's bytes, either separator). The same name gives the same part on every machine and at every moment,
// whatever else the folder holds.
std::size_t shardOf(std::string_view name, std::size_t count);
// The names of part, in their order.
std::vector<std::string> namesOfShard(std::vector<std::string> names, const Shard& part);

// The name of a new journal of part in the runs folder: "<job>-del<K>av<N>-<time>.journal".
std::string shardJournalName(const std::string& jobPath, const Shard& part);

// The functions below find the job's journals in the runs folder by their names, and take one only once its
// own records name the job file (jobPath, whole) and the part: another job of the same name in another folder
// names its journals alike.

// The latest journal of part when it has drawings left to run (pending, interrupted, not run): a part cut
// short, by a crash, a stop or HTCondor taking its machine back. It is taken up, not begun again.
std::optional<std::string> unfinishedPart(const std::string& jobPath, const std::string& runsFolder, const Shard& part);

// The journals that speak for the job: with part, the latest journal of that part; without, those of the job's
// latest run: when it was split in N, the latest journal of each of the N parts, in their order, and otherwise
// that run's journal alone. Journals of another job, or of another split of this one, are never among them.
struct JobAccount
{
    std::size_t shards = 0;            // N of the split; 0 when the run was not split
    std::vector<std::string> journals; // in the order of the parts
    std::vector<std::size_t> parts;    // the part of each journal, when split
    std::vector<std::size_t> missing;  // parts that have no journal yet
};
JobAccount jobAccount(const std::string& jobPath, const std::string& runsFolder,
                      const std::optional<Shard>& part = std::nullopt);

// The job's latest run, when it was split otherwise than part says (in another count, or split where part is
// none, or not split where part is given) and a journal of it has drawings left: a run split otherwise would run
// them a second time beside it.
struct OtherSplit
{
    std::string journal;    // one with drawings left
    std::size_t shards = 0; // how that run was split; 0: not at all
};
std::optional<OtherSplit> otherSplitUnfinished(const std::string& jobPath, const std::string& runsFolder,
                                               const std::optional<Shard>& part);

} // namespace job
