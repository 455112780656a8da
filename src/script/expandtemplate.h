#pragma once

#include "script/drawingmarks.h"
#include "script/placeholders.h"
#include "script/sessionscript.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace script {

struct ScriptTemplate;
struct RunRequest;

// A local civil date and time, as the user's clock shows it.
struct LocalDateTime
{
    int year = 1970;
    int month = 1; // 1-12
    int day = 1;   // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

using Clock = std::function<LocalDateTime()>;

// The computer's clock in local time.
LocalDateTime localNow();

// How %date and %time are written: the window fills this from the user's regional settings (short date;
// time with hours, minutes and seconds and no time zone).
struct DateTimeFormat
{
    std::function<std::string(const LocalDateTime&)> date;
    std::function<std::string(const LocalDateTime&)> time;
};

// Where an expansion puts the script: whole lines, each followed by CR LF, in pieces as they are done.
class ScriptOutput
{
public:
    virtual ~ScriptOutput() = default;
    // False when the bytes could not be taken: the expansion stops there.
    virtual bool write(std::string_view bytes) = 0;
};

// The script held in memory: every line followed by CR LF, the last one included, exactly the bytes of the
// script file.
class Script final : public ScriptOutput
{
public:
    void appendLine(std::string_view line);
    bool write(std::string_view bytes) override;

    const std::string& bytes() const { return m_bytes; }
    std::size_t lineCount() const;
    // The lines without their CR LF. A line never holds a CR, so this is the exact inverse of appendLine.
    std::vector<std::string_view> lines() const;

private:
    std::string m_bytes;
};

// A value that would break the script's line structure: a line break in it would let a file name inject
// commands into the CAD program.
struct LineBreakFault
{
    enum class Field
    {
        DrawingName,
        ListingFolder,
        ProjectName,
    };
    Field field;
    std::string value;
};

// The first drawing name, the folder or the project name that holds a CR or an LF.
std::optional<LineBreakFault> findLineBreak(std::string_view listingFolder, std::span<const std::string> names,
                                            std::string_view projectName);

struct Expansion
{
    Script script;
    // Set when an input holds a line break; the script is then empty.
    std::optional<LineBreakFault> lineBreak;
};

// Where the lines of a script stand, counted from 1: the session's start script, then each drawing's block (its
// template lines, with marks between a begin and an end mark line), then the session's end script and ".EXIT".
struct ScriptLayout
{
    std::uint64_t startLines = 0;
    std::uint64_t bodyLines = 0;
    std::uint64_t endLines = 0;
    bool marked = false;

    // The script line of a drawing's template line (both from 0).
    std::uint64_t drawingLine(std::uint64_t drawing, std::uint64_t bodyLine) const;
    // The script line of a line of the end script (from 0), after drawings drawings.
    std::uint64_t endLine(std::uint64_t drawings, std::uint64_t line) const;
};

// Repeats the template's body lines for every drawing, in order, filling in the placeholders, and ends with
// the line ".EXIT". With session scripts, the start script's lines come before the first drawing's and the end
// script's before ".EXIT", as they are. Inserted values are never searched for placeholders again. The clock is read
// once for each line that holds %date or %time. Names are bytes and are never decoded. separator is the joint between
// the folder and a name; %lfullname and %lpath use '/' in its place.
//
// The script goes to output as it is made, so it never has to lie whole in memory. When an input holds a
// line break, that is the answer and nothing reaches output. With marks, each drawing's lines stand between
// a begin mark and an end mark (markLine) with the drawing's number from marks.
std::optional<LineBreakFault> expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                                             std::span<const std::string> names, std::string_view projectName,
                                             const Clock& clock, const DateTimeFormat& format, char separator,
                                             ScriptOutput& output, const DrawingMarks* marks = nullptr,
                                             const SessionScripts* session = nullptr);

// The same, into memory.
Expansion expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                         std::span<const std::string> names, std::string_view projectName, const Clock& clock,
                         const DateTimeFormat& format, char separator);
Expansion expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                         std::span<const std::string> names, std::string_view projectName, const Clock& clock,
                         const DateTimeFormat& format);

// The request's template over drawings (the request's own, or a batch of them), as a run writes it, with the
// request's session scripts: the clock is the request's reading when it has one; otherwise each line that needs
// it reads the clock, and format writes the date and time.
std::optional<LineBreakFault> expandTemplate(const RunRequest& request, std::span<const std::string> drawings,
                                             const DateTimeFormat& format, ScriptOutput& output,
                                             const DrawingMarks* marks = nullptr);
Expansion expandRequest(const RunRequest& request, const DateTimeFormat& format);

} // namespace script
