#include "os/desktopapps.h"
#include "os/editor.h"
#include "os/process.h"

namespace editor {

// The desktop's own text editor gets the file as one argument. A generic opener is not used: it may take a
// .scr file for a program and run it.
bool openTextFile(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    const auto entry = desktopapps::defaultApplication("text/plain", desktopapps::xdgFoldersFromEnvironment());
    if (!entry)
        return false;
    const auto arguments = desktopapps::openFileArguments(*entry, path);
    return arguments && process::startProgram(*arguments);
}

} // namespace editor
