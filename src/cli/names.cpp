#include "cli/names.h"

#include <string_view>

namespace cli {

bool readNames(std::FILE* input, std::vector<std::string>& names)
{
    std::string all;
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, input)) > 0)
        all.append(buffer, count);
    if (std::ferror(input))
        return false;
    std::string_view rest = all;
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            names.emplace_back(line);
    }
    return true;
}

} // namespace cli
