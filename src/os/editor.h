#pragma once

#include <string>

// Opens a text file for editing in the system's plain-text editor, without waiting for it.
namespace editor {

// Opens folder joined with name. name is taken exactly as given (not trimmed) and the file is not tested
// for existence: the editor says what it makes of a missing file. Gives whether an editor was started.
bool openTextFile(const std::string& folder, const std::string& name);

} // namespace editor
