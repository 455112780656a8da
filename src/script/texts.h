#pragma once

#include "script/expandtemplate.h"
#include "script/scripttemplate.h"

#include <cstdint>
#include <string>
#include <string_view>

// The texts the script engine shows to the user, in one place.

namespace script::texts {

inline constexpr std::string_view errorTitle = "fel";
inline constexpr std::string_view projectDatabaseTitle = "Välj projektdatabas";
inline constexpr std::string_view projectDatabaseFilter = "Projektdatabas (*.pds)";

std::string templateNotFound(std::string_view path);
std::string templateUnreadable(std::string_view path, std::string_view reason);
std::string templateTooLong(std::string_view path);
// The text for a template that could not be read, by its cause.
std::string templateProblem(const TemplateProblem& problem, std::string_view path);
std::string projectNameMissing(std::string_view path);
std::string sessionScriptNotFound(std::string_view path);
std::string sessionScriptUnreadable(std::string_view path, std::string_view reason);
std::string sessionScriptTooLarge(std::string_view path);
// Names the value that holds a line break, with the break shown as \r or \n.
std::string lineBreak(const LineBreakFault& fault);
std::string scriptNotWritten(std::string_view path, std::string_view reason);

} // namespace script::texts

// The texts of the script check, one for each kind of finding.
namespace script::texts::check {

std::string missing(std::string_view name, std::string_view folder);
std::string notAFile(std::string_view name);
std::string unreachable(std::string_view name, std::string_view reason);
std::string readOnly(std::string_view name);
// holder and since (a date and time) may be empty.
std::string lockFile(std::string_view name, std::string_view lockName, std::string_view holder, std::string_view since);
std::string inUse(std::string_view name);
// templateLine: the template line of a finding given once for every drawing; 0 for a drawing's own.
std::string unquotedBlank(std::string_view placeholder, std::string_view value, std::uint32_t templateLine = 0);
std::string quoteInValue(std::string_view placeholder, std::string_view value, std::uint32_t templateLine = 0);
// asWritten: the template line is empty itself, not made empty by the values.
std::string emptyLine(std::uint32_t templateLine = 0, bool asWritten = false);
// placeholder may be empty when no placeholder ends the line.
std::string trailingBlank(std::string_view placeholder, std::uint32_t templateLine = 0);
std::string unencodableName(std::string_view name);
std::string unencodableTemplateLine(std::uint32_t templateLine);
// A line of a session script (line from 1; end: the end script, else the start script).
std::string unencodableSessionLine(bool end, std::uint32_t line, std::string_view path);
std::string sessionExit(bool end, std::uint32_t line, std::string_view path);
// cut: what the comment took away, ';' first; openQuote: it took a string's end, else closing parentheses.
std::string commentCut(std::uint32_t templateLine, std::string_view cut, bool openQuote);
// count: the number of blanks, in digits.
std::string blanksRemoved(std::uint32_t templateLine, std::string_view count);
std::string noProject(std::uint32_t templateLine);
std::string unencodableFolder(std::string_view folder);
std::string noDrawings();
std::string sameDrawing(std::string_view name, std::string_view earlier);
std::string noBody();
std::string noStartDrawing(std::string_view path);

} // namespace script::texts::check
