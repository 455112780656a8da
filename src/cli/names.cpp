#include "cli/names.h"

namespace cli {

void splitNames(std::string_view text, std::vector<std::string>& names)
{
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            names.emplace_back(line);
    }
}

bool readNames(std::FILE* input, std::vector<std::string>& names)
{
    std::string all;
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, input)) > 0)
        all.append(buffer, count);
    if (std::ferror(input))
        return false;
    splitNames(all, names);
    return true;
}

} // namespace cli
