#include "settings/initreg.h"
#include "os/registry.h"
#include "settings/regfile.h"
#include "settings/settings.h"

#include <fstream>
#include <iterator>
#include <string>
#include <windows.h>

// The registry editor applies the file on its own; it is started minimised and not waited for. It writes the
// user's real keys: a test's store of its own (Registry::isTestStore) gets the file applied here instead.
bool importInitReg(Settings& settings)
{
    if (settings.savedBarCount() >= 1)
        return false;
    const std::string path = settings.programFolder() + "\\Init.reg";
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (settings.registry().isTestStore()) {
        std::ifstream in(path, std::ios::binary);
        const RegFile file = parseRegFile(std::string(std::istreambuf_iterator<char>(in), {}));
        applyRegFile(file, settings.registry());
        return file.valid;
    }
    // The path is quoted: the program usually lies under "Program Files".
    std::string commandLine = "REGEDIT /s \"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
