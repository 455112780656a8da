#include "os/desktopapps.h"
#include "os/editor.h"

namespace editor {

// The desktop's own text editor gets the file. A generic opener is not used: it may take a .scr file for a
// program and run it.
bool openTextFile(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    return desktopapps::openWithDefaultApplication("text/plain", path);
}

} // namespace editor
