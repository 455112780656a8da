#pragma once

#include "job/job.h"
#include "job/shard.h"
#include "os/result.h"
#include "script/runrequest.h"
#include "supervise/runpolicy.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace supervise {
class JournalFile;
}

// What a run of a job takes from the job and from the job's earlier runs: the drawings as they are when it
// starts, those changed since they were last done, the run to take up, and a lock against a second run of it.
// Paths are the file system's bytes.
namespace job {

struct ListProblem
{
    enum class Cause
    {
        FolderUnreachable, // the drawings' folder cannot be read (a share gone at night)
        NameUnusable,      // a name of the job the file system cannot take (Windows: the ANSI code page lacks a letter)
    };
    Cause cause;
    std::string message; // UTF-8
};

// The drawings a run of the job takes, relative to folder (as resolvedPath gives it) with the native separator:
// the job's names as they stand, or the files the pattern takes in the order the window's list shows them, and
// with subfolders those of the folders below after them, each folder's by name. A folder below that cannot be
// read is named in unreadable and left out; one reached again through a link is not walked twice.
struct DrawingList
{
    std::vector<std::string> names;
    std::vector<std::string> unreadable;
};
Result<DrawingList, ListProblem> listDrawings(const std::string& folder, const Drawings& drawings);

// The job file's name without ".vjob": its journals and locks in the runs folder are named after it.
std::string jobName(const std::string& jobPath);

// The name of a new run's journal in the runs folder: "<job name>-<time>.journal", the job name being the job
// file's name without ".vjob". The names of one job's journals sort by their time.
std::string journalName(const std::string& jobPath);
// The journals in runsFolder named for the job, oldest first. Another job of the same name in another folder
// names its journals alike: each journal's job record tells them apart.
std::vector<std::string> journalsNamedFor(const std::string& jobPath, const std::string& runsFolder);

// The job's last run when it left drawings it never ran (pending, interrupted, not run): a run cut short, by a
// crash or a stop. Nothing when the last run came to its end, or there is none; runs of parts of a split job
// are not among them. jobPath is the whole path the journals keep.
std::optional<std::string> unfinishedRun(const std::string& jobPath, const std::vector<std::string>& journals);

// The names (relative to folder) whose drawing was written after its last done result in a run of the job, or
// never was done: the rest are left out. A run cut short counts for the drawings it finished.
std::vector<std::string> changedSinceDone(std::vector<std::string> names, const std::string& folder,
                                          const std::string& jobPath, const std::vector<std::string>& journals);

// Held as long as a run of the job goes on: a second start of the same job meanwhile is refused, not run beside
// it; with part, the same for that part of a split job. The lock is a file in the runs folder; it stays there,
// empty, between runs.
class JobLock final
{
public:
    struct Problem
    {
        bool busy = false;  // another run holds it
        std::string detail; // what the system said otherwise
    };
    static Result<std::unique_ptr<JobLock>, Problem> take(const std::string& jobPath, const std::string& runsFolder,
                                                          std::optional<std::size_t> part = std::nullopt);
    ~JobLock();
    JobLock(const JobLock&) = delete;
    JobLock& operator=(const JobLock&) = delete;

private:
    explicit JobLock(std::unique_ptr<supervise::JournalFile> file);
    std::unique_ptr<supervise::JournalFile> m_file;
};

// What a run of a job gets besides the job, each winning over the job's own when given.
struct RunInputs
{
    std::optional<std::string> program; // whole paths, the file system's bytes
    std::optional<std::string> parameters;
    std::optional<std::string> startDrawing;
    std::string defaultStartDrawing; // when neither names one
    std::optional<std::string> sessionStart; // empty: none
    std::optional<std::string> sessionEnd;
    std::string projectName;
    bool withProgram = true; // a script alone needs no program
    std::string runsFolder;  // where the job's journals are, for changed
    std::optional<Shard> part; // only the drawings of this part of the job
};

struct PrepareProblem
{
    enum class Cause
    {
        Job,               // a value of the job cannot be used (the message names its line)
        Request,           // the template, the program or the project name will not do
        FolderUnreachable, // the drawings' folder cannot be read
    };
    Cause cause;
    std::string message; // UTF-8, beginning with the job file and the line of the value concerned
};

struct PreparedRun
{
    script::RunRequest request;          // checked (script::checkRequest), with its drawings
    supervise::RunPolicy policy;         // the job's, its session scripts as whole paths (read into request)
    std::vector<std::string> unreadable; // folders below whose drawings are not in it
    std::size_t unchanged = 0;           // drawings changed leaves out
    std::size_t inJob = 0;               // the job's drawings, of every part
};

// A new run of the job: its paths resolved, its request checked with its session scripts read, its drawings listed
// now, narrowed to those of the part when it runs one, and with changed to those changed since done. jobPath is the
// job file's whole path, text its bytes as read.
Result<PreparedRun, PrepareProblem> prepareRun(const std::string& jobPath, std::string_view text, const Job& job,
                                               const RunInputs& inputs);

} // namespace job
