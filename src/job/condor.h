#pragma once

#include "os/drives.h"
#include "os/result.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A job split over the machines of an HTCondor pool: the submit description that runs its parts, one HTCondor
// job each. Plain C++; paths are the file system's bytes, as the execute machines will be given them.
namespace job {

struct CondorRequest
{
    std::string program;    // the installed vendrel-run, a whole path the same on every execute machine
    std::string jobPath;    // whole
    std::string runsFolder; // whole: the parts' journals, and HTCondor's output, error and log files beside them
    std::size_t shards = 1;
    std::optional<std::size_t> only; // this part alone (to submit it again), not all of them
    std::string requirements;        // HTCondor's ClassAd expression, as given; empty for none
};

// The text condor_submit takes; a failure names a value the description cannot hold (a line break).
Result<std::string> condorDescription(const CondorRequest& request);

// A path a part needs, and what it is to the user ("mallen", "ritningsmappen", ...).
struct NeededPath
{
    std::string what;
    std::string path;
};
// Warnings, one a path, for the paths another machine of the pool cannot reach as they are written: those on
// this machine's own disks, and on Windows drive letters of network drives (each user maps them for himself).
// Paths on no known drive pass.
std::vector<std::string> unreachableWarnings(const std::vector<NeededPath>& paths, const std::vector<Drive>& drives);

} // namespace job
