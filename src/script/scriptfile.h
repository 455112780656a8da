#pragma once

#include "script/scriptfs.h"

#include <optional>
#include <string>
#include <string_view>

namespace script {

class Script;

inline constexpr std::string_view scriptFileName = "Vendrel.scr";

// Vendrel.scr in the temporary folder.
std::string scriptFilePath();

// Replaces the file at path with the script's bytes (see replaceFile: a link there is replaced, not
// followed; a reader of the earlier script keeps it whole). On failure the earlier file is left as it was.
WriteResult writeScriptFile(const Script& script, const std::string& path);

// The project name a project database gives: the file's name without its extension. Nothing unless the
// path ends in "pds" (without regard to case).
std::optional<std::string> projectNameFromDatabasePath(std::string_view path, char separator);

} // namespace script
