#include "supervise/runstart.h"

#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/samedrawing.h"
#include "script/scriptfs.h"
#include "script/texts.h"
#include "supervise/marks.h"
#include "supervise/runfiles.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace supervise {

namespace {

using Cause = StartProblem::Cause;

StartResult fail(Cause cause, std::string path = {}, std::string detail = {})
{
    return StartResult::failure({cause, std::move(path), std::move(detail), {}, std::nullopt});
}

// Whether two paths name one file: the batch script must never be written over the template.
bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    try {
        std::error_code error;
        return std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), error) && !error;
    } catch (const std::exception&) {
        // Bytes the library cannot convert: such paths were compared as they are above.
        return false;
    }
}

} // namespace

std::string problemText(const StartProblem& problem, const std::function<std::string(std::string_view)>& shown)
{
    namespace texts = script::texts;
    const std::string path = shown ? shown(problem.path) : problem.path;
    const std::string detail = shown ? shown(problem.detail) : problem.detail;
    switch (problem.cause) {
    case Cause::NoRunsFolder:
        return "ingen mapp för journalen: " + detail;
    case Cause::JournalExists:
        return "journalen " + path + " finns redan; fortsätt den med --resume";
    case Cause::JournalBusy:
        return "journalen " + path + " används av en annan körning";
    case Cause::JournalDamaged:
        return "journalen " + path + " är skadad och kan inte fortsättas";
    case Cause::JournalUnfinished:
        return "journalen " + path +
               " skapades aldrig färdigt och inget har körts; starta körningen på nytt med samma kommando";
    case Cause::JournalUnreadable:
        return "journalen " + path + " kan inte öppnas: " + detail;
    case Cause::JournalUnwritable:
        return "journalen " + path + " kan inte skrivas: " + detail;
    case Cause::ScriptInTheWay:
        return "körningens fil " + path + " skulle ersätta en fil som redan finns; välj ett annat namn på journalen";
    case Cause::NoDrawings:
        return "ingen ritning att köra: markera eller ange ritningarna";
    case Cause::SameDrawing:
        return (problem.path == problem.detail ? "ritningen " + path + " står två gånger bland ritningarna"
                                               : "ritningarna " + detail + " och " + path + " är samma fil") +
               "; varje ritning kan bara köras en gång";
    case Cause::Request:
        if (problem.request)
            return script::requestProblemText(*problem.request, shown);
        break;
    }
    return path;
}

std::string templateChangedText(std::string_view templatePath)
{
    return "mallen " + std::string(templatePath) + " har ändrats sedan körningen började";
}

std::string newJournalName()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const script::LocalDateTime local = script::localNow();
    char name[80];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d-%03d-%ld.journal", local.year, local.month, local.day,
                  local.hour, local.minute, local.second, static_cast<int>(ms), static_cast<long>(::getpid()));
    return name;
}

StartResult requestFailure(script::RequestProblem problem)
{
    std::string path = problem.path;
    return StartResult::failure({Cause::Request, std::move(path), {}, {}, std::move(problem)});
}

StartResult createRun(script::RunRequest request, const RunPolicy& policy, const std::string& journalPath,
                      const std::string& jobPath, const std::optional<ShardRecord>& shard)
{
    useSessionScripts(policy, request);
    if (auto checked = script::checkRequest(request); !checked)
        return requestFailure(checked.error());
    // A journal of nothing would report every one of no drawings done; but a part of a job that none of the
    // job's drawings fall to is done, and its journal says that it ran.
    if (request.drawings.empty() && !shard)
        return fail(Cause::NoDrawings);
    // Run twice, a drawing would be worked on by two sessions at once, or saved over by its own second turn.
    if (const auto same = script::findSameDrawing(request.listingFolder, request.drawings, request.separator))
        return fail(Cause::SameDrawing, request.drawings[same->again], request.drawings[same->first]);

    std::string path = journalPath;
    if (path.empty()) {
        const auto folder = runsFolder();
        if (!folder)
            return fail(Cause::NoRunsFolder, {}, folder.error());
        path = script::joinPath(*folder, newJournalName(), script::nativeSeparator());
    }
    // The run writes its batch script beside the journal: never over a file it did not make (a journal named
    // after its template would otherwise overwrite the template).
    const std::string scriptPath = scriptPathFor(path);
    if (stampOf(scriptPath).exists || sameFile(scriptPath, request.templatePath))
        return fail(Cause::ScriptInTheWay, scriptPath);
    // The scripts and marks files of every session the run may ever have are its own from here on: a resume
    // with more sessions, or after its journal was cut back, writes them without asking whose they are.
    for (std::size_t session = 1; session <= RunPolicy::maxSessions; ++session) {
        for (const std::string& file : {sessionScriptPath(path, session), sessionMarksPath(path, session)}) {
            if (stampOf(file).exists || sameFile(file, request.templatePath))
                return fail(Cause::ScriptInTheWay, file);
        }
    }

    auto journal = JournalWriter::create(path, request, policy, jobPath, shard);
    if (!journal)
        return fail(journal.error().kind == JournalProblem::Kind::Exists ? Cause::JournalExists
                                                                         : Cause::JournalUnwritable,
                    path, journal.error().message);
    OpenedRun run;
    run.journal = std::move(*journal);
    run.content.usable = true;
    run.content.drawings.reserve(request.drawings.size());
    for (std::string& name : request.drawings)
        run.content.drawings.emplace_back().name = std::move(name);
    request.drawings.clear();
    run.content.request = std::move(request);
    run.content.policy = policy;
    run.content.jobPath = jobPath;
    run.content.shard = shard;
    run.indices.resize(run.content.drawings.size());
    for (std::size_t i = 0; i < run.indices.size(); ++i)
        run.indices[i] = i;
    return run;
}

StartResult openRun(const std::string& journalPath, TakeUp how, const PolicyChange& change)
{
    auto opened = JournalWriter::open(journalPath);
    if (opened)
        return takeUp(std::move(opened->writer), std::move(opened->content), how, change);
    const JournalProblem& problem = opened.error();
    switch (problem.kind) {
    case JournalProblem::Kind::Busy:
        return fail(Cause::JournalBusy, journalPath);
    case JournalProblem::Kind::Damaged:
        return StartResult::failure({Cause::JournalDamaged, journalPath, {}, problem.problems, std::nullopt});
    case JournalProblem::Kind::Unfinished:
        return fail(Cause::JournalUnfinished, journalPath);
    case JournalProblem::Kind::Exists:
    case JournalProblem::Kind::Failed:
        break;
    }
    return fail(Cause::JournalUnreadable, journalPath, problem.message);
}

StartResult takeUp(std::unique_ptr<JournalWriter> journal, JournalContent content, TakeUp how,
                   const PolicyChange& change)
{
    script::RunRequest& request = content.request;
    const std::string recordedHash = request.templateHash;
    request.templateHash.clear(); // read again: the run goes by the template as it is now
    const RunPolicy policy = change ? bounded(change(content.policy, request.cad.path)) : content.policy;
    // The session scripts too, as they are now, and refused before anything runs when they are gone.
    useSessionScripts(policy, request);
    if (auto checked = script::checkRequest(request); !checked)
        return requestFailure(checked.error());
    if (sameFile(scriptPathFor(journal->path()), request.templatePath))
        return fail(Cause::ScriptInTheWay, scriptPathFor(journal->path()));
    if (policy != content.policy) {
        if (auto written = journal->policyChanged(policy); !written)
            return fail(Cause::JournalUnwritable, journal->path(), written.error());
        content.policy = policy;
    }
    const std::string& loadedHash = request.templateHash;
    OpenedRun run;
    run.templateChanged = loadedHash != recordedHash;
    run.indices = how == TakeUp::Resume ? drawingsToResume(content) : drawingsToRetry(content);
    run.journal = std::move(journal);
    run.content = std::move(content);
    return run;
}

RunEngine::Setup engineSetup(const std::string& journalPath, const RunPolicy& policy, script::DateTimeFormat format,
                             const process::Interrupt* interrupt, RunObserver* observer)
{
    RunEngine::Setup setup;
    setup.format = std::move(format);
    setup.journalPath = journalPath;
    setup.policy = policy;
    setup.interrupt = interrupt;
    setup.observer = observer;
    return setup;
}

} // namespace supervise
