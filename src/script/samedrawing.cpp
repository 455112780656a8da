#include "script/samedrawing.h"

#include "script/paths.h"

#include <unordered_map>

namespace script {

std::string normalisedPath(std::string_view path, char separator)
{
    const bool windows = separator == '\\';
    const auto separates = [windows, separator](char c) { return c == separator || (windows && c == '/'); };
    std::string normal;
    normal.reserve(path.size());
    std::size_t at = 0;
    if (windows && path.size() >= 2 && path[1] == ':') {
        normal.append(path.substr(0, 2));
        at = 2;
    }
    std::size_t leading = 0;
    while (at + leading < path.size() && separates(path[at + leading]))
        ++leading;
    // Two at the start of a Windows path begin a server's share; elsewhere any number are the root.
    if (leading > 0)
        normal.append(windows && at == 0 && leading >= 2 ? 2 : 1, separator);
    at += leading;
    const bool absolute = leading > 0;

    std::vector<std::string_view> parts;
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !separates(path[end]))
            ++end;
        const std::string_view part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part); // above a relative start: kept, there is nothing to take it with
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            normal.push_back(separator);
        normal.append(parts[i]);
    }
    if (windows) {
        for (char& c : normal) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return normal;
}

std::optional<SameDrawing> findSameDrawing(std::string_view folder, const std::vector<std::string>& drawings,
                                           char separator)
{
    std::unordered_map<std::string, std::size_t> seen;
    seen.reserve(drawings.size());
    for (std::size_t i = 0; i < drawings.size(); ++i) {
        const auto [place, added] =
            seen.try_emplace(normalisedPath(joinPath(folder, drawings[i], separator), separator), i);
        if (!added)
            return SameDrawing{place->second, i};
    }
    return std::nullopt;
}

} // namespace script
