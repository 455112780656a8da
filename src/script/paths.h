#pragma once

#include <string>
#include <string_view>

namespace script {

// The joint between a folder and a name on this platform: '\' on Windows, '/' elsewhere.
char nativeSeparator();

// folder + separator + name, without doubling the separator when the folder already ends in one (a drive
// root such as C:\ or the root /). An empty folder gives separator + name, the root of the current drive.
std::string joinPath(std::string_view folder, std::string_view name, char separator);

// The folder for the script: TEMP, else TMPDIR, else /tmp; on Windows TEMP (empty when unset).
std::string temporaryFolder();

} // namespace script
