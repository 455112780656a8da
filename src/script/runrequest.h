#pragma once

#include "os/result.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scripttemplate.h"
#include "script/sessionscript.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The target of a run: AutoCAD (or AutoCAD LT) and IntelliCAD, each with its own program and parameters.
enum class CadKind
{
    Acad,
    Icad,
};

namespace script {

// The CAD program a run starts: what the window's boxes, the settings, a job and the command line all name.
// Paths are the file system's bytes.
struct CadProgram
{
    std::optional<CadKind> kind; // none from the command line or a job, which name the program itself
    std::string path;
    std::string parameters;
    std::string startDrawing;
    friend bool operator==(const CadProgram&, const CadProgram&) = default;
};

// What %date and %time stand for when the clock is read once for a whole run.
struct ClockReading
{
    std::string date;
    std::string time;
    friend bool operator==(const ClockReading&, const ClockReading&) = default;
};

// One run, as every front end hands it on: the plain run, the review, the check and the supervised run take
// it, and a supervised run's journal keeps it (requestFields/requestFromFields) to resume with the same.
// Paths and names are the file system's bytes.
struct RunRequest
{
    std::string templatePath;
    ScriptTemplate scriptTemplate; // as read for this run
    std::string templateHash;      // of the template's bytes as read: a resumed run tells an edited one by it
    std::vector<std::string> drawings; // in list order
    std::string listingFolder;
    CadProgram cad;
    std::string projectName;
    // Read once for the whole run, so a review shows exactly the bytes it can run; none: each line that holds
    // %date or %time reads the clock.
    std::optional<ClockReading> clockReading;
    char separator = nativeSeparator();
    // A supervised run's scripts for the start and end of each CAD session, named by its policy
    // (nameSessionScripts) and read by the check; none for a plain run.
    SessionScripts sessionScripts;
};

// Why a request cannot run. The front ends tell it in their own way (script::texts has the words).
struct RequestProblem
{
    enum class Cause
    {
        TemplateMissing,
        TemplateUnreadable,
        TemplateTooLong,
        ProjectNameMissing, // the template needs a project name and the request has none
        ProgramMissing,
        LineBreak, // a name, the folder or the project name holds a line break
        SessionScriptMissing,
        SessionScriptUnreadable,
        SessionScriptTooLarge,
    };
    Cause cause;
    std::string path;   // the file it concerns
    std::string detail; // what the system said
    std::optional<LineBreakFault> lineBreak;
};

// What a run needs before anything is written or started, in this order: its template read
// (loadRequestTemplate, done here when it has not been), its session scripts read (those named and not read
// yet), no line break in a value that lands in the script, a
// project name where the template asks for one, and, when withProgram, the program's file. The one check of the window
// and both command-line programs.
Result<void, RequestProblem> checkRequest(RunRequest& request, bool withProgram = true);
// The message for the user, UTF-8 around the paths; each value passes through shown when given (the front ends
// make file-system bytes fit for display).
std::string requestProblemText(const RequestProblem& problem,
                               const std::function<std::string(std::string_view)>& shown = {});

// The stored name of a kind ("Acad", "Icad"; empty for none), and back. Journals keep these names.
std::string_view cadKindName(std::optional<CadKind> kind);
std::optional<CadKind> cadKindFromName(std::string_view name);

// The request as the fields of a journal record, and back: everything but the drawings (the journal keeps
// them one a record) and the template's lines (read again from templatePath when the run is taken up).
// Nothing when the fields are not such a record. Journals before the run policy had two more fields at the end
// (the batch size and the time-out), which the journal reads itself.
std::vector<std::string> requestFields(const RunRequest& request);
std::optional<RunRequest> requestFromFields(std::span<const std::string> fields);

// Reads the template at request.templatePath into scriptTemplate and templateHash.
Result<void, TemplateProblem> loadRequestTemplate(RunRequest& request);

} // namespace script
