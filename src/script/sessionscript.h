#pragma once

#include "os/result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Session scripts: plain script files that each CAD session of a supervised run runs once before its first
// drawing (the start script) and once after its last, before .EXIT (the end script). They go into every
// session's script as they are: no placeholder is filled in and no comment or blank is taken away. Only their
// line ends become the script's CR LF, and a file in UTF-8 with a byte-order mark is put in the script's code
// page, as a template is.
namespace script {

// A larger file is no script a person wrote: most likely a drawing chosen by mistake.
inline constexpr std::size_t maxSessionScriptBytes = 1024 * 1024;

struct SessionScript
{
    std::string path; // as the file system takes it; empty: none
    bool read = false;
    std::vector<std::string> lines; // in the script's code page, as they go into the script
    // The lines (from 1) that held a letter the script's code page cannot hold: it became '?'.
    std::vector<std::uint32_t> unencodable;

    bool named() const { return !path.empty(); }
};

struct SessionScripts
{
    SessionScript start;
    SessionScript end;

    std::size_t startLines() const { return start.lines.size(); }
    std::size_t endLines() const { return end.lines.size(); }
};

// Names the files of a run's session scripts. One named already and read stays as it was read, so that a run
// writes exactly what its review showed; any other is read by the request's check (checkRequest).
void nameSessionScripts(SessionScripts& scripts, const std::string& start, const std::string& end);

// The lines of a session script's bytes: split at CR LF, a lone CR or a lone LF; a last line without a line
// end is a line, the empty end after the last line end is none.
void takeSessionScriptBytes(SessionScript& script, std::string_view bytes);

// Why a session script could not be read.
struct SessionScriptProblem
{
    enum class Kind
    {
        Missing,    // no such file, or not a plain, visible file
        Unreadable, // could not be opened or read (message says why)
        TooLarge,   // larger than maxSessionScriptBytes
    } kind;
    std::string message;
};
// Reads the file script.path names.
Result<void, SessionScriptProblem> readSessionScript(SessionScript& script);

// Whether the line ends the CAD session: the command EXIT or QUIT, in any of the ways a script writes it
// (".EXIT", "_.QUIT", "exit", blanks around it). The session would end there, before the rest of its script.
bool endsSession(std::string_view line);

} // namespace script
