#include "runs/cadlookup.h"

#include "os/registry.h"
#include "script/paths.h"

namespace cad {

namespace {

// The look-ups read into a buffer of this many bytes, terminator included.
constexpr std::size_t defaultValueBuffer = 255;

std::string registeredProgram(const ClassesRootReader& read, std::string_view versionKey)
{
    // Without a version the key would be "\shell\open\command", which names no registration.
    const std::string version = read(versionKey);
    if (version.empty())
        return {};
    return programFromOpenCommand(read(version + "\\shell\\open\\command"));
}

} // namespace

std::string classesRootDefaultText(std::string_view stored)
{
    stored = stored.substr(0, stored.find('\0'));
    if (stored.size() + 1 > defaultValueBuffer)
        return {};
    while (!stored.empty() && stored.front() == ' ')
        stored.remove_prefix(1);
    std::string text;
    text.reserve(stored.size());
    for (const char c : stored) {
        if (c != '"')
            text.push_back(c);
    }
    return text;
}

std::string readClassesRootDefault(const Registry& registry, std::string_view subkey)
{
    return classesRootDefaultText(registry.readString(Hive::ClassesRoot, subkey, "", ""));
}

std::string programFromOpenCommand(std::string_view command)
{
    for (std::size_t i = 0; i + 4 <= command.size(); ++i) {
        if (command[i] == '.' && (command[i + 1] | 0x20) == 'e' && (command[i + 2] | 0x20) == 'x' &&
            (command[i + 3] | 0x20) == 'e')
            return std::string(command.substr(0, i + 4));
    }
    return std::string(command);
}

std::string registeredAutoCadProgram(const ClassesRootReader& read)
{
    return registeredProgram(read, "AutoCAD.Drawing\\CurVer");
}

std::string registeredAutoCadLtProgram(const ClassesRootReader& read)
{
    return registeredProgram(read, "AutoCAD LT.Drawing\\CurVer");
}

std::string registeredIntelliCadProgram(const ClassesRootReader& read)
{
    return programFromOpenCommand(read("Icad.Drawing\\shell\\open\\command"));
}

std::string cadCommandLine(std::string_view program, std::string_view ownFolder, std::string_view parameters,
                           std::string_view scriptPath, char separator)
{
    return cadCommandLineWithStartDrawing(program, script::joinPath(ownFolder, startDrawingName, separator),
                                          parameters, scriptPath);
}

std::string cadCommandLineWithStartDrawing(std::string_view program, std::string_view startDrawing,
                                           std::string_view parameters, std::string_view scriptPath)
{
    std::string line;
    line.reserve(program.size() + startDrawing.size() + parameters.size() + scriptPath.size() + 16);
    line.append("\"").append(program).append("\" \"").append(startDrawing);
    line.append("\" ").append(parameters).append(" /b \"").append(scriptPath).append("\"");
    return line;
}

} // namespace cad
