#include "job/jobrun.h"

#include "os/casefolding.h"
#include "os/filelisting.h"
#include "os/filterpattern.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "script/paths.h"
#include "supervise/journal.h"
#include "supervise/runfiles.h"
#include "supervise/runstart.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <unordered_map>

namespace job {

namespace {

// The order of the window's list: without regard to case, names equal but for case by their bytes.
void sortByName(std::vector<std::string>& names)
{
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(nameSortKey(name));
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int byKey = keys[a].compare(keys[b]);
        return byKey != 0 ? byKey < 0 : names[a] < names[b];
    });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const std::size_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

struct Walk
{
    const FilterPattern& pattern;
    bool subfolders;
    std::set<FolderIdentity> seen;
    DrawingList& list;
};

// The drawings in folder and, with subfolders, below it, named from the top with prefix. False when folder
// cannot be read.
bool walk(const std::string& folder, const std::string& prefix, Walk& state)
{
    if (const auto identity = folderIdentity(folder); identity && !state.seen.insert(*identity).second)
        return true; // a link back to a folder already walked
    auto listing = FolderListing::read(folder);
    if (!listing)
        return false;
    const auto files = listing->files([&](std::string_view name) { return state.pattern.matches(name); });
    if (!files)
        return false;
    std::vector<std::string> names;
    names.reserve(files->size());
    for (const ListedFile& file : *files)
        names.push_back(file.name);
    sortByName(names);
    for (const std::string& name : names)
        state.list.names.push_back(prefix + name);
    if (!state.subfolders)
        return true;
    auto below = readSubfolderNames(folder);
    if (!below) {
        state.list.unreadable.push_back(prefix.empty() ? folder : prefix.substr(0, prefix.size() - 1));
        return true;
    }
    sortByName(*below);
    for (const std::string& name : *below) {
        if (!walk(joinFolder(folder, name), prefix + name + folderSeparator, state))
            state.list.unreadable.push_back(prefix + name);
    }
    return true;
}

} // namespace

std::string jobName(const std::string& jobPath)
{
    const auto slash = jobPath.find_last_of(folderSeparator == '/' ? "/" : "/\\");
    std::string name = slash == std::string::npos ? jobPath : jobPath.substr(slash + 1);
    const bool vjob = name.size() > extension.size() &&
                      std::equal(extension.begin(), extension.end(), name.end() - std::ptrdiff_t(extension.size()),
                                 [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? char(b - 'A' + 'a') : b); });
    if (vjob)
        name.resize(name.size() - extension.size());
    return name;
}

namespace {

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of(folderSeparator == '/' ? "/" : "/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A journal of the job's own: read whole and naming the job.
std::optional<supervise::JournalContent> ownJournal(const std::string& path, const std::string& jobPath)
{
    auto read = supervise::readJournal(path);
    if (!read || read->jobPath != jobPath || !read->usable)
        return std::nullopt;
    return std::move(*read);
}

std::string hex64(std::uint64_t value)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4)
        text.push_back(digits[(value >> shift) & 0xF]);
    return text;
}

} // namespace

Result<DrawingList, ListProblem> listDrawings(const std::string& folder, const Drawings& drawings)
{
    using Answer = Result<DrawingList, ListProblem>;
    const auto unreachable = [&] {
        return Answer::failure({ListProblem::Cause::FolderUnreachable, "mappen " + pathText(folder) + " kan inte nås"});
    };
    DrawingList list;
    if (!drawings.names.empty()) {
        if (!folderIdentity(folder))
            return unreachable();
        list.names.reserve(drawings.names.size());
        for (const std::string& name : drawings.names) {
            auto bytes = exactSystemText(name);
            if (!bytes)
                return Answer::failure({ListProblem::Cause::NameUnusable, "namnet " + name + ": " + bytes.error()});
            if (folderSeparator != '/')
                std::replace(bytes->begin(), bytes->end(), '/', folderSeparator);
            list.names.push_back(std::move(*bytes));
        }
        return list;
    }
    const FilterPattern pattern(drawings.pattern);
    Walk state{pattern, drawings.subfolders, {}, list};
    if (!walk(folder, {}, state))
        return unreachable();
    return list;
}

std::string journalName(const std::string& jobPath)
{
    return jobName(jobPath) + "-" + supervise::newJournalName();
}

std::vector<std::string> journalsNamedFor(const std::string& jobPath, const std::string& runsFolder)
{
    const std::string prefix = jobName(jobPath) + "-";
    std::vector<std::string> journals = supervise::journalsIn(runsFolder);
    std::erase_if(journals, [&](const std::string& path) { return !fileNameOf(path).starts_with(prefix); });
    std::sort(journals.begin(), journals.end());
    return journals;
}

std::optional<std::string> unfinishedRun(const std::string& jobPath, const std::vector<std::string>& journals)
{
    for (auto journal = journals.rbegin(); journal != journals.rend(); ++journal) {
        const auto content = ownJournal(*journal, jobPath);
        if (!content || content->shard)
            continue; // a part of a split run is taken up by that part
        // A damaged journal cannot be taken up, and one whose making never finished ran nothing.
        if (content->damaged || content->unfinished || supervise::drawingsToResume(*content).empty())
            return std::nullopt;
        return *journal;
    }
    return std::nullopt;
}

std::vector<std::string> changedSinceDone(std::vector<std::string> names, const std::string& folder,
                                          const std::string& jobPath, const std::vector<std::string>& journals)
{
    const char separator = script::nativeSeparator();
    // Whole paths: the job's folder may have been another in an earlier run.
    std::unordered_map<std::string, std::int64_t> lastDone;
    for (const std::string& journal : journals) {
        const auto content = ownJournal(journal, jobPath);
        if (!content)
            continue;
        for (const supervise::DrawingEntry& entry : content->drawings) {
            if (entry.state != supervise::State::Done)
                continue;
            std::int64_t& when = lastDone[script::joinPath(content->request.listingFolder, entry.name, separator)];
            when = std::max(when, entry.endedMs);
        }
    }
    if (lastDone.empty())
        return names;
    std::erase_if(names, [&](const std::string& name) {
        const auto done = lastDone.find(script::joinPath(folder, name, separator));
        if (done == lastDone.end())
            return false;
        const supervise::FileStamp stamp = supervise::stampOf(script::joinPath(folder, name, separator));
        return stamp.exists && stamp.modified < done->second * 1'000'000;
    });
    return names;
}

JobLock::JobLock(std::unique_ptr<supervise::JournalFile> file) : m_file(std::move(file)) {}

JobLock::~JobLock() = default;

Result<std::unique_ptr<JobLock>, JobLock::Problem>
JobLock::take(const std::string& jobPath, const std::string& runsFolder, std::optional<std::size_t> part)
{
    using Answer = Result<std::unique_ptr<JobLock>, Problem>;
    using Kind = supervise::JournalFile::Problem::Kind;
    // Named after the job and its whole path: jobs of one name in two folders are two jobs.
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : jobPath)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    // The parts of a split job run side by side, each alone.
    const std::string partName = part ? "-del" + std::to_string(*part) : std::string();
    const std::string path = script::joinPath(runsFolder, jobName(jobPath) + "-" + hex64(hash) + partName + ".lock",
                                              script::nativeSeparator());
    std::string error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto file = supervise::JournalFile::open(path);
        if (!file && file.error().kind != Kind::Busy)
            file = supervise::JournalFile::create(path, {});
        if (file)
            return std::unique_ptr<JobLock>(new JobLock(std::move(*file)));
        if (file.error().kind == Kind::Busy)
            return Answer::failure({true, {}});
        error = file.error().message;
        if (file.error().kind != Kind::Exists)
            break;
        // Made by another start between the two tries: the next open finds it held or free.
    }
    return Answer::failure({false, error});
}

Result<PreparedRun, PrepareProblem> prepareRun(const std::string& jobPath, std::string_view text, const Job& job,
                                               const RunInputs& inputs)
{
    using Answer = Result<PreparedRun, PrepareProblem>;
    using Cause = PrepareProblem::Cause;
    const std::string where = "jobbfilen " + pathText(jobPath);
    const auto fail = [&](Cause cause, std::string_view key, std::string message) {
        return Answer::failure(
            {cause, problemText({std::move(message), key.empty() ? 0 : keyLine(text, key), 0}, where)});
    };
    std::optional<PrepareProblem> unresolved;
    const auto resolve = [&](std::string_view key, const std::string& path) {
        auto resolved = resolvedPath(jobPath, path);
        if (!resolved && !unresolved)
            unresolved = fail(Cause::Job, key, resolved.error()).error();
        return resolved ? *resolved : std::string();
    };
    PreparedRun run;
    script::RunRequest& request = run.request;
    request.templatePath = resolve("template", job.templatePath);
    request.listingFolder = resolve("drawings.folder", job.drawings.folder);
    request.cad.path = inputs.program ? *inputs.program : resolve("cad.program", job.cad.path);
    request.cad.parameters = inputs.parameters.value_or(job.cad.parameters);
    request.cad.startDrawing = inputs.startDrawing             ? *inputs.startDrawing
                               : !job.cad.startDrawing.empty() ? resolve("cad.start_drawing", job.cad.startDrawing)
                                                               : inputs.defaultStartDrawing;
    request.projectName = inputs.projectName;
    run.policy = job.policy;
    const auto sessionScript = [&](std::string_view key, const std::optional<std::string>& given,
                                   const std::string& path) {
        return given ? *given : path.empty() ? std::string() : resolve(key, path);
    };
    run.policy.sessionStart = sessionScript("run.session_start", inputs.sessionStart, job.policy.sessionStart);
    run.policy.sessionEnd = sessionScript("run.session_end", inputs.sessionEnd, job.policy.sessionEnd);
    supervise::useSessionScripts(run.policy, request);
    if (unresolved)
        return Answer::failure(std::move(*unresolved));

    if (auto checked = script::checkRequest(request, inputs.withProgram); !checked) {
        using RequestCause = script::RequestProblem::Cause;
        const script::RequestProblem& problem = checked.error();
        const std::string message =
            script::requestProblemText(problem, [](std::string_view bytes) { return pathText(bytes); });
        switch (problem.cause) {
        case RequestCause::TemplateMissing:
        case RequestCause::TemplateUnreadable:
        case RequestCause::TemplateTooLong:
            return fail(Cause::Request, "template", message);
        case RequestCause::ProgramMissing:
            return fail(Cause::Request, inputs.program ? "" : "cad.program", message);
        case RequestCause::SessionScriptMissing:
        case RequestCause::SessionScriptUnreadable:
        case RequestCause::SessionScriptTooLarge: {
            const bool start = problem.path == request.sessionScripts.start.path;
            const bool given = start ? inputs.sessionStart.has_value() : inputs.sessionEnd.has_value();
            return fail(Cause::Request, given ? "" : start ? "run.session_start" : "run.session_end", message);
        }
        case RequestCause::LineBreak:
        case RequestCause::ProjectNameMissing:
            break;
        }
        return Answer::failure({Cause::Request, message});
    }

    auto listed = listDrawings(request.listingFolder, job.drawings);
    if (!listed) {
        const bool unreachable = listed.error().cause == ListProblem::Cause::FolderUnreachable;
        return fail(unreachable ? Cause::FolderUnreachable : Cause::Job,
                    unreachable ? "drawings.folder" : "drawings.names", listed.error().message);
    }
    run.unreadable = std::move(listed->unreadable);
    run.inJob = listed->names.size();
    if (inputs.part)
        listed->names = namesOfShard(std::move(listed->names), *inputs.part);
    const std::size_t all = listed->names.size();
    if (job.drawings.changed) {
        listed->names = changedSinceDone(std::move(listed->names), request.listingFolder, jobPath,
                                         journalsNamedFor(jobPath, inputs.runsFolder));
    }
    run.unchanged = all - listed->names.size();
    request.drawings = std::move(listed->names);
    return run;
}

} // namespace job
