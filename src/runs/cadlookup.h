#pragma once

#include <functional>
#include <string>
#include <string_view>

class Registry;

// Where the CAD programs are and how they are started. Plain C++: the registry texts are bytes.
namespace cad {

// The start drawing every CAD command line names; it lies in the program folder.
inline constexpr std::string_view startDrawingName = "helvscr.dwg";

// The stored default value of a HKEY_CLASSES_ROOT key as the look-ups use it: text that needs more than
// 255 bytes with its terminator counts as unreadable (empty); leading blanks and every double quote go.
std::string classesRootDefaultText(std::string_view stored);

// The cleaned default value of HKEY_CLASSES_ROOT\subkey, or empty text.
std::string readClassesRootDefault(const Registry& registry, std::string_view subkey);

// An open command cut after its first ".exe" (without regard to case); the whole text when it has none.
std::string programFromOpenCommand(std::string_view command);

// Reads the cleaned default value of a HKEY_CLASSES_ROOT subkey.
using ClassesRootReader = std::function<std::string(std::string_view subkey)>;

// The file-type registrations of the CAD programs: empty text when a key or value is missing.
std::string registeredAutoCadProgram(const ClassesRootReader& read);
std::string registeredAutoCadLtProgram(const ClassesRootReader& read);
std::string registeredIntelliCadProgram(const ClassesRootReader& read);

// The programs as this platform registers them: the file-type registry on Windows; elsewhere the desktop's
// default application for DWG drawings stands for AutoCAD, and AutoCAD LT and IntelliCAD have none.
std::string findAutoCadProgram(const Registry& registry);
std::string findAutoCadLtProgram(const Registry& registry);
std::string findIntelliCadProgram(const Registry& registry);

// The command line that starts a CAD program on a script, character for character:
// "program" "ownFolder<sep>helvscr.dwg" parameters /b "scriptPath"
// The parameters stand as typed, unquoted; when they are empty two blanks precede /b.
std::string cadCommandLine(std::string_view program, std::string_view ownFolder, std::string_view parameters,
                           std::string_view scriptPath, char separator);
// The same with the start drawing given as a whole path: "program" "startDrawing" parameters /b "scriptPath"
std::string cadCommandLineWithStartDrawing(std::string_view program, std::string_view startDrawing,
                                           std::string_view parameters, std::string_view scriptPath);

} // namespace cad
