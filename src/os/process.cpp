#include "os/process.h"

namespace process {

std::optional<std::vector<std::string>> splitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const auto close = commandLine.find('\'', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            word.append(commandLine.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= commandLine.size())
                    return std::nullopt;
                const char q = commandLine[i];
                if (q == '"')
                    break;
                if (q == '\\' && i + 1 < commandLine.size()) {
                    const char next = commandLine[i + 1];
                    if (next == '"' || next == '\\' || next == '$' || next == '`') {
                        word.push_back(next);
                        ++i;
                        continue;
                    }
                }
                word.push_back(q);
            }
        } else if (c == '\\') {
            if (i + 1 >= commandLine.size())
                return std::nullopt;
            word.push_back(commandLine[++i]);
        } else {
            word.push_back(c);
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

} // namespace process
