#include "script/paths.h"

namespace script {

std::string joinPath(std::string_view folder, std::string_view name, char separator)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    const bool endsInSeparator = !folder.empty() && (folder.back() == separator || folder.back() == '/');
    if (!endsInSeparator)
        path.push_back(separator);
    path.append(name);
    return path;
}

} // namespace script
