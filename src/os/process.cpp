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

std::optional<std::vector<std::string>> argumentsOf(const Command& command)
{
    std::vector<std::string> arguments;
    for (const CommandPart& part : command) {
        if (!part.typed) {
            arguments.push_back(part.text);
            continue;
        }
        auto words = splitCommandLine(part.text);
        if (!words)
            return std::nullopt;
        arguments.insert(arguments.end(), std::make_move_iterator(words->begin()),
                         std::make_move_iterator(words->end()));
    }
    return arguments;
}

void appendQuotedArgument(std::string& line, std::string_view argument)
{
    // Backslashes count only before a quote: doubled there (and before the closing one), kept elsewhere.
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

std::string windowsCommandLine(const Command& command)
{
    std::string line;
    for (const CommandPart& part : command) {
        if (part.typed && part.text.empty())
            continue;
        if (!line.empty())
            line += ' ';
        if (part.typed) {
            line += part.text;
            continue;
        }
        appendQuotedArgument(line, part.text);
    }
    return line;
}

} // namespace process
