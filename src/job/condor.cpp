#include "job/condor.h"

#include "job/jobrun.h"
#include "os/pathtext.h"
#include "script/paths.h"

#include <algorithm>

namespace job {

namespace {

// condor_submit expands "$(...)" in every value: a '$' of a path stands for itself only as "$(DOLLAR)".
std::string literal(std::string_view text)
{
    std::string value;
    for (const char c : text) {
        if (c == '$')
            value += "$(DOLLAR)";
        else
            value.push_back(c);
    }
    return value;
}

// One argument in the quoted form of "arguments": in single quotes, where a single quote is doubled, and a
// double quote doubled as the whole value's quotes ask.
std::string argument(std::string_view text)
{
    std::string quoted = "'";
    for (const char c : literal(text)) {
        if (c == '\'')
            quoted += "''";
        else if (c == '"')
            quoted += "\"\"";
        else
            quoted.push_back(c);
    }
    return quoted + "'";
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool isDriveLetter(std::string_view folder)
{
    return folder.size() == 2 && folder[1] == ':';
}

bool onDrive(std::string_view path, std::string_view folder)
{
    if (folder.empty())
        return false;
    if (isDriveLetter(folder)) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return path.size() >= 2 && lower(path[0]) == lower(folder[0]) && path[1] == ':';
    }
    if (folder == "/")
        return path.starts_with('/');
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

Result<std::string> condorDescription(const CondorRequest& request)
{
    for (const std::string* value : {&request.program, &request.jobPath, &request.runsFolder, &request.requirements}) {
        if (hasLineBreak(*value))
            return Result<std::string>::failure("radbrytningen i " + pathText(*value) +
                                                " kan inte stå i en beskrivning för condor_submit");
    }
    const std::string count = std::to_string(request.shards);
    const std::string part = request.only ? std::to_string(*request.only) : "$(Process)";
    // Beside the journals, named as they are, so that a part's HTCondor files and its journal sort together.
    const std::string stem =
        literal(script::joinPath(request.runsFolder, jobName(request.jobPath), script::nativeSeparator())) + "-del" +
        part + "av" + count;
    const std::size_t queued = request.only ? 1 : request.shards;

    std::string text;
    const auto line = [&](std::string_view key, const std::string& value) {
        std::string padded(key);
        padded.resize(std::max<std::size_t>(padded.size(), 23), ' ');
        text.append(padded).append(" = ").append(value).append("\n");
    };
    text += "# Skriven av vendrel-run --condor: jobbet " + pathText(request.jobPath) + " i " + count + " delar" +
            (request.only ? ", här bara del " + part : std::string()) + ".\n";
    text += "# Varje HTCondor-jobb kör en del (--shard K/N) med en journal i " + pathText(request.runsFolder) + ".\n";
    line("universe", "vanilla");
    line("executable", literal(request.program));
    // The installed program is on every execute machine already, at this path.
    line("transfer_executable", "false");
    line("arguments", "\"--job " + argument(request.jobPath) + " --shard " + part + "/" + count + " --runs " +
                          argument(request.runsFolder) + "\"");
    line("initialdir", literal(request.runsFolder));
    line("output", stem + ".out");
    line("error", stem + ".err");
    line("log", stem + ".log");
    // The journals lie on a share every machine reaches; nothing needs carrying.
    line("should_transfer_files", "IF_NEEDED");
    line("when_to_transfer_output", "ON_EXIT");
    text += "# Windows: delen körs som användaren som skickar in den, med hans profil och CAD-licens.\n";
    line("run_as_owner", "true");
    text +=
        "# När HTCondor tar tillbaka datorn får delen SIGTERM (Windows: stäng) och två minuter att avsluta\n"
        "# sina CAD-sessioner och skriva klart journalen; sedan tar delen upp journalen där den startas nästa gång.\n";
    line("kill_sig", "SIGTERM");
    line("job_max_vacate_time", "120");
    text += "# Slutstatus 5: ritningsmappen eller journalmappen kunde inte nås; delen väntar (condor_release).\n";
    line("on_exit_hold", "ExitCode =?= 5");
    line("on_exit_hold_reason", "\"ritningsmappen eller journalmappen kunde inte nås\"");
    if (!request.requirements.empty())
        line("requirements", request.requirements);
    text += "queue " + std::to_string(queued) + "\n";
    return text;
}

std::vector<std::string> unreachableWarnings(const std::vector<NeededPath>& paths, const std::vector<Drive>& drives)
{
    std::vector<std::string> warnings;
    for (const NeededPath& needed : paths) {
        const Drive* drive = nullptr;
        for (const Drive& candidate : drives) {
            if (onDrive(needed.path, candidate.folder) && (!drive || candidate.folder.size() > drive->folder.size()))
                drive = &candidate;
        }
        if (!drive)
            continue;
        const std::string shown = needed.what + " " + pathText(needed.path);
        if (drive->type == DriveType::Remote) {
            if (isDriveLetter(drive->folder))
                warnings.push_back(shown + " står på nätverksenheten " + pathText(drive->folder) +
                                   ", som varje användare ansluter själv; skriv den som \\\\server\\resurs\\..., så "
                                   "når poolens datorer den");
        } else if (drive->type == DriveType::Fixed || drive->type == DriveType::Removable ||
                   drive->type == DriveType::CdRom || drive->type == DriveType::RamDisk) {
            warnings.push_back(shown + " ligger på den här datorns egen disk (" + pathText(drive->entry) +
                               "); poolens andra datorer når den inte");
        }
    }
    return warnings;
}

} // namespace job
