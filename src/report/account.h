#pragma once

#include "os/result.h"
#include "supervise/journal.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What one or several journals say happened: every drawing with its session, times and reason, and the lanes of
// the timeline. Plain C++: vendrel-run makes it as well as the window.
namespace report {

inline constexpr std::size_t stateCount = 7; // the states of supervise::State

// A journal the account is made from. Several make one account of a job split over machines.
struct Source
{
    std::string journalPath;
    std::string label; // what its lanes are called when there are several sources
    supervise::JournalContent content;
};

// A timeline's row: one CAD session of one source.
struct Lane
{
    std::size_t source = 0;
    std::size_t session = 1;
    std::string label; // UTF-8
};

// One drawing as the report shows it. Texts are the journal's bytes; times are wall clock milliseconds.
struct Row
{
    std::size_t source = 0;
    std::size_t index = 0; // in its journal's drawing list
    std::string name;
    supervise::State state = supervise::State::Pending;
    std::size_t session = 0;   // 0: never in a batch
    std::int64_t beginMs = 0;  // 0: never began
    std::int64_t endMs = 0;    // 0 with a begin: its batch never had a result, it ends with the run
    std::string reason;        // the exit status, or why it could not start
    std::size_t lane = noLane; // in Account::lanes
    static constexpr std::size_t noLane = static_cast<std::size_t>(-1);

    std::int64_t durationMs() const { return beginMs != 0 && endMs > beginMs ? endMs - beginMs : 0; }
};

struct Account
{
    std::vector<Source> sources;
    std::vector<Lane> lanes;  // by source, then session
    std::vector<Row> rows;    // by source, then list order
    std::int64_t startMs = 0; // the first begin; 0 when nothing ran
    std::int64_t endMs = 0;   // the last end the journals know (a run's end, a drawing's end)
    std::array<std::size_t, stateCount> counts{};
};

// The label of a journal's lanes beside others' lanes. The journal's file name now; where a journal knows the
// machine or part of the job it ran, that name goes here.
std::string sourceLabel(const std::string& journalPath, const supervise::JournalContent& content);

// The account of journals already read. A drawing whose batch has no result ends where the account ends.
Account accountOf(std::vector<Source> sources);

// Reads the journals and makes their account; fails naming the first journal that cannot be read or holds no
// usable run. Problems of a journal that is still usable (a torn last line) are left in its content.
Result<Account> readAccount(std::span<const std::string> journalPaths);

} // namespace report
