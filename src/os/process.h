#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Starting outside programs (the CAD programs, the template editor) as independent processes: never through
// a shell, never awaited, no handle kept. Implemented in process_posix.cpp and process_win.cpp.
namespace process {

enum class Show
{
    Normal,
    Minimized, // minimised and activated, where the window system knows window states
};

// The words of a command line as a POSIX shell splits them, without any expansion: blanks and tabs separate
// words; '...' keeps everything literally; "..." keeps everything except that a backslash before " \ $ `
// stands for that character; outside quotes a backslash takes the next character literally. Adjacent
// quoted and unquoted pieces form one word ("a"b is ab; "" is an empty word). Nothing when a quote is left
// open or the text ends in a lone backslash.
std::optional<std::vector<std::string>> splitCommandLine(std::string_view commandLine);

// One piece of a command: an argument that reaches the program exactly as it is, or text the user typed as
// command-line text (start parameters), which stands as typed.
struct CommandPart
{
    std::string text;
    bool typed = false;
};
using Command = std::vector<CommandPart>;

// The argument list a command gives a program here: arguments as they are, typed text split by
// splitCommandLine. Nothing when typed text leaves a quote open.
std::optional<std::vector<std::string>> argumentsOf(const Command& command);
// The command line a command gives a program on Windows: every argument in double quotes by the rules by which
// the C runtime and CommandLineToArgvW take the line apart again, typed text as it is.
std::string windowsCommandLine(const Command& command);
// Appends argument in double quotes, escaped so that CommandLineToArgvW and the C runtime give it back as it is.
void appendQuotedArgument(std::string& line, std::string_view argument);

// Starts the program named by a complete command line. On Windows the text goes to the system unchanged;
// elsewhere it is split by splitCommandLine and its first word is the program's file (a word without '/'
// names a file in the current folder, as it does to a test for the file). Gives whether the program was
// started.
bool startCommandLine(const std::string& commandLine, Show show);

// Starts arguments[0] with the whole list as its arguments (a name without '/' is looked up on PATH).
// Gives whether the program was started.
bool startProgram(const std::vector<std::string>& arguments);

// The file a program name stands for: a name holding a separator as it is, otherwise the first executable
// file of that name in the folders of PATH. Empty when there is none.
std::string findExecutable(std::string_view name);

// Whether path may be offered as a CAD program: an executable file here, a name ending in "exe" (without
// regard to case) on Windows.
bool isProgramFile(const std::string& path);

// Whether program files are recognised by their extension on this platform (so an open-file dialog can
// filter on it).
bool programFilesHaveExtension();

} // namespace process
