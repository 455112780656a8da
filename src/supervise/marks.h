#pragma once

#include "script/drawingmarks.h"
#include "supervise/runfiles.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The files of a run's sessions, and what the marks files of the CAD sessions say.
namespace supervise {

// The files of session number session (from 1) of the run whose journal is at journalPath: session 1 has the
// run's script (scriptPathFor) and "<journal without .journal>.marks"; session k > 1 has
// "<journal without .journal>.<k>.scr" and ".<k>.marks".
std::string sessionScriptPath(const std::string& journalPath, std::size_t session);
std::string sessionMarksPath(const std::string& journalPath, std::size_t session);
// The folder that keeps what the headless console wrote, one "<index>.log" per drawing.
std::string consoleLogFolder(const std::string& journalPath);
std::string consoleLogPath(const std::string& journalPath, std::size_t index);

struct Mark
{
    script::MarkKind kind;
    std::size_t index;
};

// Parses one line of a marks file ("begin 12", "end 12", a CR before the LF allowed); nothing for any other line.
std::optional<Mark> parseMark(std::string_view line);

// Follows a marks file while a CAD session writes it: each poll gives the marks of the whole lines added since
// the last one. A file that is missing or empty gives nothing; lines that are not marks are skipped; a line
// longer than any mark is skipped whole; a file that grows without end is read a bounded piece per poll.
// Only the session's own file is believed: a plain file of the user's, not a link, and the one file all along
// (own, as makeOwnFile made it, or else the first one seen), never cut short under what was read of it.
// Anything else is refused, and nothing more is read.
class MarksReader final
{
public:
    explicit MarksReader(std::string path, std::optional<FileIdentity> own = std::nullopt);
    std::vector<Mark> poll();
    // Everything the file holds from where the reader stands, however much (after the session ended).
    std::vector<Mark> pollAll();
    // Why the file is not believed ("märkesfilen är en länk"), or empty.
    const std::string& refused() const { return m_refused; }

private:
    void refuse(std::string why);

    std::string m_path;
    std::optional<FileIdentity> m_own;
    std::uint64_t m_offset = 0;
    std::string m_tail; // the last bytes before m_offset, as they were read
    std::string m_partial;
    bool m_skipping = false; // in the middle of an overlong line
    std::string m_refused;
};

} // namespace supervise
