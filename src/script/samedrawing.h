#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

// Two places of a drawing list that name one file.
struct SameDrawing
{
    std::size_t first = 0; // the earlier place
    std::size_t again = 0; // the later one
    friend bool operator==(const SameDrawing&, const SameDrawing&) = default;
};

// The path of a drawing as the script names it (joinPath), brought to one spelling: no empty or "." parts, a
// ".." taken together with the part before it. With separator '\' both '/' and '\' separate, a drive or server
// prefix is kept, and ASCII letters are compared without case; with '/' names are bytes and case matters.
std::string normalisedPath(std::string_view path, char separator);

// The first drawing of the list (in list order) that names a file an earlier one names already, joined to
// folder as the script joins them ("a.dwg", "./a.dwg" and "sub/../a.dwg" are one file); nothing when each
// names its own. A run over such a list would work on one file twice, perhaps in two sessions at once.
std::optional<SameDrawing> findSameDrawing(std::string_view folder, const std::vector<std::string>& drawings,
                                           char separator);

} // namespace script
