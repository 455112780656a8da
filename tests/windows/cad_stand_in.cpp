// Stands in for a program that Vendrel starts (a CAD program, the text editor): writes the command line it
// was given and the window state it was asked for to "<its own name>.txt" beside itself, then ends.
#include <cstdio>
#include <string>
#include <windows.h>

int main()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string record(path, length);
    record.replace(record.size() - 4, 4, ".txt");

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    std::FILE* out = std::fopen(record.c_str(), "wb");
    if (!out)
        return 1;
    std::fprintf(out, "%s\n%d\n", GetCommandLineA(), show);
    return std::fclose(out) == 0 ? 0 : 1;
}
