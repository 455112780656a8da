#include "os/process.h"

#include <cctype>
#include <windows.h>

namespace process {

bool startCommandLine(const std::string& commandLine, Show show)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == Show::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::string text = commandLine;
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

namespace {

// The quoting the C runtime undoes when it splits a command line into arguments.
void appendQuoted(std::string& line, const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        line += argument;
        return;
    }
    appendQuotedArgument(line, argument);
}

} // namespace

bool startProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return false;
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty())
            line += ' ';
        appendQuoted(line, argument);
    }
    return startCommandLine(line, Show::Normal);
}

std::string findExecutable(std::string_view name)
{
    if (name.empty())
        return {};
    if (name.find_first_of("\\/:") != std::string_view::npos)
        return std::string(name);
    char found[MAX_PATH];
    const DWORD length = SearchPathA(nullptr, std::string(name).c_str(), ".exe", MAX_PATH, found, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(found, length) : std::string();
}

bool isProgramFile(const std::string& path)
{
    if (path.size() < 3)
        return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(path[path.size() - 3 + i])) != "EXE"[i])
            return false;
    }
    return true;
}

bool programFilesHaveExtension()
{
    return true;
}

} // namespace process
