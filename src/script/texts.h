#pragma once

#include "script/expandtemplate.h"

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
std::string projectNameMissing(std::string_view path);
// Names the value that holds a line break, with the break shown as \r or \n.
std::string lineBreak(const LineBreakFault& fault);
std::string scriptNotWritten(std::string_view path, std::string_view reason);

} // namespace script::texts
