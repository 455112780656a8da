#pragma once

#include "os/result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace script {

// The line count is kept in a signed 16-bit number by the CAD side of the tool chain: more lines than this
// make the template unusable rather than silently cut.
inline constexpr std::size_t maxBodyLines = 32767;

// Where a body line stands in the template file and what reading took from it, for the review: the rules cut
// real lines that were not written with them in mind.
struct TemplateLine
{
    std::uint32_t number = 0; // the line of the file, counted from 1 (comment lines included)
    std::string cut;          // what the last ';' took away, the ';' included, as UTF-8 text; empty for nothing
    // The blanks taken from the end of a line without a comment: in a script each blank is an Enter.
    std::uint32_t blanksRemoved = 0;
    // A letter of the line (a template in UTF-8) that the script's code page cannot hold.
    bool unencodable = false;
};

// A script template as read for one run.
struct ScriptTemplate
{
    ScriptTemplate() = default;
    // A template made in code: its lines as they go into the script.
    ScriptTemplate(std::vector<std::string> body, bool needsProject = false)
        : bodyLines(std::move(body)), needsProjectDatabase(needsProject)
    {
    }

    std::vector<std::string> bodyLines; // in the script's code page
    // Some line that was read, comment and end lines included, holds "%m" in double quotes.
    bool needsProjectDatabase = false;
    // The file began with a UTF-8 byte-order mark: it was read as UTF-8, and the mark is no part of any line.
    bool utf8 = false;
    // One for every body line, as read from a file; empty for a template made in code.
    std::vector<TemplateLine> lines;
};

// A UTF-8 text in the code page scripts are written in: unchanged on Linux, where scripts are UTF-8 like the
// names in them; the ANSI code page on Windows, where a letter the page lacks becomes '?' and complete is false.
struct ScriptText
{
    std::string bytes;
    bool complete = true;
};
ScriptText scriptTextFromUtf8(std::string_view text);
// Bytes of a template without the mark (the ANSI code page on Windows) as UTF-8, for the texts shown to the user.
std::string utf8FromTemplateText(std::string_view bytes);

// What ends a template line.
enum class LineEnds
{
    CrLfOrCr,      // CR LF or a lone CR; a lone LF stays in the line (Windows)
    CrLfCrOrLf,    // a lone LF as well, as Linux editors write (Linux)
};
#ifdef _WIN32
inline constexpr LineEnds nativeLineEnds = LineEnds::CrLfOrCr;
#else
inline constexpr LineEnds nativeLineEnds = LineEnds::CrLfCrOrLf;
#endif

// Reads template bytes as they arrive, so a long file after its end line is never read. Lines end as
// lineEnds says; a line starting with %C is a comment and one starting with %END stops reading (both without
// regard to case); in a body line the last ';' and what follows, then trailing spaces, are removed. A file that
// begins with a UTF-8 byte-order mark is UTF-8: the mark is dropped and the lines are put in the script's code
// page.
class TemplateReader
{
public:
    explicit TemplateReader(LineEnds lineEnds = nativeLineEnds) : m_lineEnds(lineEnds) {}
    // Takes the next bytes of the file. Returns false once reading has stopped (end line or too many lines):
    // the caller need not feed the rest.
    bool feed(std::string_view bytes);
    // Takes the last line that has no line end. Gives nothing when the template has too many body lines.
    std::optional<ScriptTemplate> finish();

private:
    bool feedLines(std::string_view bytes);
    void takeLine(std::string_view line);

    ScriptTemplate m_template;
    LineEnds m_lineEnds;
    std::string m_head; // the file's first bytes while they may still be the start of a byte-order mark
    bool m_headPending = true;
    std::uint32_t m_lineNumber = 0;
    std::string m_partial;
    bool m_crPending = false;
    bool m_stopped = false;
    bool m_tooLong = false;
};

// The template held in bytes. Nothing when it has more than maxBodyLines body lines.
std::optional<ScriptTemplate> readScriptTemplate(std::string_view bytes, LineEnds lineEnds = nativeLineEnds);

// Why a template file could not be taken.
struct TemplateProblem
{
    enum class Kind
    {
        Missing,    // no such file, or not a plain, visible file
        Unreadable, // could not be opened or read
        TooLong,    // more than maxBodyLines body lines
    } kind;
    std::string message; // why the file could not be read, for Unreadable
};

struct LoadedTemplate
{
    ScriptTemplate scriptTemplate;
    std::string hash; // of all the file's bytes
};

// A hash of a template's bytes, as a journal records it to tell an edited template.
class TemplateHash final
{
public:
    void feed(std::string_view bytes);
    std::string text() const;

private:
    std::uint64_t m_hash = 0xcbf29ce484222325ull;
};
std::string templateHash(std::string_view bytes);

// Reads the template file at path (bytes, as the file system takes them).
Result<LoadedTemplate, TemplateProblem> loadScriptTemplate(const std::string& path);

// Where the template called name (leading and trailing spaces ignored) lies in the template folder. An empty
// name gives the folder with a separator, which never names a file.
std::string scriptTemplatePath(std::string_view templateFolder, std::string_view name, char separator);
std::string scriptTemplatePath(std::string_view templateFolder, std::string_view name);

} // namespace script
