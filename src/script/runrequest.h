#pragma once

#include "script/paths.h"
#include "script/scripttemplate.h"

#include <chrono>
#include <cstddef>
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
    std::optional<CadKind> cadKind; // none from the command line, which names its program itself
    std::string program;
    std::string startDrawing;
    std::string parameters;
    std::string projectName;
    // Read once for the whole run, so a review shows exactly the bytes it can run; none: each line that holds
    // %date or %time reads the clock.
    std::optional<ClockReading> clockReading;
    char separator = nativeSeparator();
    // Supervised runs only.
    std::size_t batchSize = 1;
    std::chrono::milliseconds timeout{10 * 60 * 1000}; // per drawing
};

// The longest time-out per drawing and the most drawings per session a run takes: their product, a session's
// deadline, stays far inside the clock's range.
inline constexpr std::chrono::milliseconds maxTimeout{std::chrono::hours(24 * 366)};
inline constexpr std::size_t maxBatchSize = 1000000;

// The stored name of a kind ("Acad", "Icad"; empty for none), and back. Journals keep these names.
std::string_view cadKindName(std::optional<CadKind> kind);
std::optional<CadKind> cadKindFromName(std::string_view name);

// The request as the fields of a journal record, and back: everything but the drawings (the journal keeps
// them one a record) and the template's lines (read again from templatePath when the run is taken up).
// Nothing when the fields are not such a record.
std::vector<std::string> requestFields(const RunRequest& request);
std::optional<RunRequest> requestFromFields(std::span<const std::string> fields);

// Reads the template at request.templatePath into scriptTemplate and templateHash.
LoadedTemplate loadRequestTemplate(RunRequest& request);

} // namespace script
