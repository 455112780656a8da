#include "script/scriptfile.h"

#include "script/expandtemplate.h"
#include "script/paths.h"

namespace script {

std::string scriptFilePath()
{
    return joinPath(temporaryFolder(), scriptFileName, nativeSeparator());
}

WriteResult writeScriptFile(const Script& script, const std::string& path)
{
    return replaceFile(path, script.bytes());
}

std::optional<std::string> projectNameFromDatabasePath(std::string_view path, char separator)
{
    if (path.size() < 3)
        return std::nullopt;
    const std::string_view tail = path.substr(path.size() - 3);
    for (std::size_t i = 0; i < 3; ++i) {
        if ((tail[i] & ~0x20) != "PDS"[i])
            return std::nullopt;
    }
    // Dialogs may give '/' on every platform.
    const auto slash = path.find_last_of(separator == '/' ? std::string_view("/") : std::string_view("/\\"));
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

} // namespace script
