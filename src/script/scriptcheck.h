#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What would go wrong with a script before the CAD program reads it blindly: drawings that are gone,
// cannot be saved or are open elsewhere, values that split or empty a line, names the script cannot hold,
// template lines that the template's rules change, and a script with nothing to do. Plain C++, like the rest
// of the engine.

namespace script {

struct RunRequest;

enum class CheckCode : std::uint8_t
{
    Missing,
    ReadOnly,
    Locked,
    UnquotedBlank,
    EmptyLine,
    Unencodable,
    NoDrawings,
    NoBody,
    NoStartDrawing,
    CommentCut,    // the last ';' cuts a line where it leaves a string or parentheses open
    BlanksRemoved, // the blanks that ended a template line were removed, and with them their Enters
    QuoteInValue,  // a value with a double quote stands inside double quotes
    NoProject,     // %m with no project name: it vanishes from the line
    SameDrawing,   // the drawing names a file an earlier drawing of the list names (detail: that one)
    SessionExit,   // a line of a session script ends the CAD session
};

enum class CheckLevel : std::uint8_t
{
    Error,
    Warning,
};

// The stable name of a code ("missing", "read-only", ...), as scripts and tools read it.
std::string_view codeName(CheckCode code);
CheckLevel levelOf(CheckCode code);
std::string_view levelName(CheckLevel level); // "error", "warning"

inline constexpr std::size_t noDrawing = static_cast<std::size_t>(-1);

// The cases within a code that need a text of their own.
namespace FindingVariant {
inline constexpr std::uint8_t plain = 0;
inline constexpr std::uint8_t notAFile = 1;      // missing: a folder or device stands under the name
inline constexpr std::uint8_t unreachable = 2;   // missing: the file system said why (detail)
inline constexpr std::uint8_t trailingBlank = 3; // empty-line: the line ends in a blank
inline constexpr std::uint8_t templateText = 4;  // unencodable: a letter of the template itself
inline constexpr std::uint8_t openQuote = 5;     // comment-cut: a string's closing quote was cut away
inline constexpr std::uint8_t openParentheses = 6; // comment-cut: closing parentheses were cut away
inline constexpr std::uint8_t emptyAsWritten = 7;  // empty-line: the template line itself is empty
// unencodable, session-exit: a line of the start or the end script (templateLine: its line in that file)
inline constexpr std::uint8_t sessionStart = 8;
inline constexpr std::uint8_t sessionEnd = 9;
} // namespace FindingVariant

// One thing found. Kept small: a drawing name with a blank and 100 000 drawings gives a finding for every
// line that puts it outside quotes. The text is made on demand by findingText.
//
// A finding about a template line that comes out the same for every drawing (the line itself, or values that
// do not change from drawing to drawing: the folder, the project name, the date) is given once, for the
// line's first place in the script, with no drawing and with its template line.
struct Finding
{
    CheckCode code = CheckCode::NoBody;
    // The script line it concerns, counted from 1; 0 when it concerns the script as a whole.
    std::uint64_t line = 0;
    // The marked drawing it concerns, as an index into the checked names; noDrawing for none.
    std::size_t drawing = noDrawing;
    // The placeholder it concerns (an index into placeholderNames), or -1.
    std::int8_t placeholder = -1;
    // Which case of its code: see FindingVariant.
    std::uint8_t variant = 0;
    // What the file system said, for the text: why a drawing is missing, who holds the lock; what a comment
    // cut away; how many blanks were removed.
    std::string detail;
    // The template line it concerns, counted from 1 (comment lines included); 0 for a finding about a drawing
    // or the script as a whole.
    std::uint32_t templateLine = 0;
};

// Everything the check finds in the script the request gives, with the clock read once (its reading; none:
// %date and %time stand for nothing), in the order of the script lines (the findings about the whole script
// first). Asks the file system about every drawing; a drawing that vanishes meanwhile is simply missing. The
// lines are those of the script with the request's session scripts and, when marked, with a mark line before
// and after each drawing's lines.
std::vector<Finding> checkScript(const RunRequest& request, bool marked = false);

// The marked drawing a finding concerns; empty for none.
std::string_view findingDrawing(const Finding& finding, const RunRequest& request);
// The Swedish text for the user (UTF-8 around the names, which stay the file system's bytes).
std::string findingText(const Finding& finding, const RunRequest& request);

// What the lock file's first bytes say about who holds the drawing: its readable fields (lines, or the texts
// between XML tags), joined with ", "; empty when it holds nothing readable. Binary, empty or huge files give
// a short, clean answer.
std::string lockHolder(std::string_view head);

} // namespace script
