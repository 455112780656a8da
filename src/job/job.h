#pragma once

#include "os/result.h"
#include "script/runrequest.h"
#include "supervise/runpolicy.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A run written down as a job file (*.vjob): TOML, read and written with toml++. Plain C++, no Qt: the window,
// vendrel-run and vendrel-script read the same jobs. Texts and paths in a Job are UTF-8, as in the file.
namespace job {

inline constexpr std::string_view extension = ".vjob";
// The format this version reads and writes; a file of a later one is refused, not half understood.
inline constexpr std::int64_t formatVersion = 1;

struct Drawings
{
    std::string folder;            // as in the file: relative to the job file's folder, or absolute
    std::string pattern = "*.dwg"; // the list's filter, as in the window
    bool subfolders = false;
    std::vector<std::string> names; // exactly these (relative to folder, in this order) when not empty
    bool changed = false;
    friend bool operator==(const Drawings&, const Drawings&) = default;
};

struct Job
{
    std::string templatePath; // as in the file: relative to the job file's folder, or absolute
    Drawings drawings;
    script::CadProgram cad; // kind stays empty
    // Its session scripts as in the file: relative to the job file's folder, or absolute.
    supervise::RunPolicy policy;
    // The folder of the runs' journals, as in the file (relative to the job file's folder, or absolute, a share
    // when the job is split over machines); empty: the user's runs folder.
    std::string runsFolder;
    friend bool operator==(const Job&, const Job&) = default;
};

struct JobProblem
{
    std::string message;
    std::size_t line = 0; // 0: no line
    std::size_t column = 0;
};

// The job a text holds, every key, type, bound and name checked; the first fault found otherwise, with its line
// and column where it has one.
Result<Job, JobProblem> parseJob(std::string_view text);
// The same for a file (path as the file system takes it). UTF-8, with or without a byte-order mark; UTF-16 is
// refused with a message that says so.
Result<Job, JobProblem> readJob(const std::string& path);
// The bytes of a job file, for parseJob and keyLine.
Result<std::string, JobProblem> readJobText(const std::string& path);
// The line a key ("drawings.folder") stands on in a job's text, for a message about its value; 0 when the key
// is not there.
std::size_t keyLine(std::string_view text, std::string_view key);
// The TOML of a job, every key with a comment that says what it is.
std::string jobText(const Job& job);
// Replaces the file atomically with jobText(job); a job that would not read back is refused, nothing written.
Result<void> writeJob(const std::string& path, const Job& job);
// A path of the job as the file system takes it: relative ones against the job file's folder; on Windows from
// UTF-8 to the ANSI code page (a name the page cannot hold is an error).
Result<std::string> resolvedPath(const std::string& jobPath, const std::string& path);

// "<where>, rad 3, kolumn 9: <message>" (the line and column when the problem has them); where is the job file
// as the user should see it.
std::string problemText(const JobProblem& problem, std::string_view where);

} // namespace job
