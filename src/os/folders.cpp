#include "os/folders.h"

std::string joinFolder(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (path.empty() || (path.back() != folderSeparator && path.back() != '/'))
        path.push_back(folderSeparator);
    path.append(name);
    return path;
}
