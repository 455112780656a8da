#include "os/editor.h"
#include "os/process.h"

namespace editor {

// Notepad takes the rest of its command line as one file name, so the path goes unquoted.
bool openTextFile(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (path.empty() || (path.back() != '\\' && path.back() != '/'))
        path.push_back('\\');
    path.append(name);
    return process::startCommandLine("NOTEPAD.EXE " + path, process::Show::Normal);
}

} // namespace editor
