#pragma once

#include <string>
#include <string_view>

// The desktop's default application for a file type, as the desktop registers it (mimeapps.list lists,
// desktop-specific ones included, and desktop entries). GIO reads the registrations and starts the
// application: every rule of those formats is its, not ours. Not built on Windows.
namespace desktopapps {

// The desktop entry file of the default application for mimeType; empty when there is none.
std::string defaultApplicationFile(std::string_view mimeType);

// The executable of the default application for mimeType: the program its Exec line starts, looked up on
// PATH when it holds no '/'. Empty when there is none or it is not there.
std::string defaultApplicationExecutable(std::string_view mimeType);

// Opens file with the default application for mimeType as its entry says (field codes, a terminal for an
// entry that asks for one), never through a shell and without waiting for it. Gives whether it was started.
bool openWithDefaultApplication(std::string_view mimeType, const std::string& file);

} // namespace desktopapps
