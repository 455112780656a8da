#include "cli/arguments.h"

#include "os/console.h"

#include <algorithm>

namespace cli {

std::optional<std::string> readArguments(int argc, char** argv, std::initializer_list<std::string_view> flags,
                                         std::initializer_list<std::string_view> valued, CommonArguments& common,
                                         const std::function<std::optional<std::string>(const Argument&)>& take)
{
    const auto among = [](std::initializer_list<std::string_view> names, std::string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    // An option's value is the next word, unless that is an option of the program itself: "--status --job FILE"
    // gives --status no value (its value is then the job's), and a value that happens to be an option's name is
    // written with '='.
    const auto isOption = [&](std::string_view next) {
        return among(flags, next) || among(valued, next.substr(0, next.find('=')));
    };
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        Argument argument;
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            common.positional.emplace_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            common.help = true;
            continue;
        }
        if (among(flags, word)) {
            argument.name = word;
        } else {
            const auto equals = word.find('=');
            argument.name = word.substr(0, equals);
            if (!among(valued, argument.name))
                return "okänd flagga " + std::string(word);
            if (equals != std::string_view::npos)
                argument.value = word.substr(equals + 1);
            else if (i + 1 < argc && !isOption(argv[i + 1]))
                argument.value = argv[++i];
            else if (i + 1 == argc)
                return std::string(argument.name) + " saknar värde";
        }
        if (auto error = take(argument))
            return error;
    }
    return std::nullopt;
}

bool writeHelp(std::string_view usage, std::string_view help)
{
    std::string text = "Användning: ";
    text.append(usage).append(help);
    return console::write(console::Stream::Output, text);
}

} // namespace cli
