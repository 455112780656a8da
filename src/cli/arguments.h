#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// An option of a command line: a flag alone, or an option with its value (after '=' or the next word; empty when
// the next word is another option of the program's).
struct Argument
{
    std::string_view name;  // "--batch"
    std::string_view value; // empty for a flag
};

// What every command line holds besides its options.
struct CommonArguments
{
    std::vector<std::string> positional; // names: no leading dash, a lone "-", or anything after "--"
    bool help = false;                    // --help or -h
};

// Reads argv[1..] into common and hands each option to take: flags stand alone, every option in valued takes
// a value. take gives a usage error or nothing; the first error ends the reading and is the answer.
std::optional<std::string> readArguments(int argc, char** argv, std::initializer_list<std::string_view> flags,
                                         std::initializer_list<std::string_view> valued, CommonArguments& common,
                                         const std::function<std::optional<std::string>(const Argument&)>& take);

// Writes "Användning: " with the usage and the help text to standard output; false when it cannot.
bool writeHelp(std::string_view usage, std::string_view help);

} // namespace cli
