#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines of text (UTF-8, LF or CR LF line ends) wider than columns characters: what a console that many
// columns wide breaks in the middle. A letter is one character however many bytes it takes.
inline std::vector<std::string> linesWiderThan(std::string_view text, std::size_t columns)
{
    std::vector<std::string> wide;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::size_t characters = 0;
        for (const char c : line)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (characters > columns)
            wide.emplace_back(line);
    }
    return wide;
}
