#pragma once

#include <string>
#include <string_view>

// The few file-system calls the script engine needs, one implementation per platform
// (scriptfs_posix.cpp, scriptfs_win.cpp). Paths are bytes as the file system takes them.

namespace script {

// path names an existing plain file (a link to one counts) that is not hidden.
bool isVisibleFile(const std::string& path);

struct WriteResult
{
    bool ok = false;
    std::string error; // why not, when !ok
};

// Replaces the file at path with exactly bytes: they go to a new file beside it, which is then renamed over
// path. Whatever stood at path (a link included) is replaced, never written through, and a reader that
// holds the old file open keeps it whole. On failure path is left as it was.
WriteResult replaceFile(const std::string& path, std::string_view bytes);

// Standard input and output carry bytes unchanged (no CR LF translation).
void setBinaryStdio();

} // namespace script
