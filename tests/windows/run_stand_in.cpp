// Stands in for a CAD program under a supervised run: appends the script it was given (the last quoted word
// of its command line) to "<its own name>.txt" beside itself, then behaves as the script's drawing names ask:
// HANG starts a child and waits for ever, LEAVE starts a child and ends, CRASH ends as an access violation
// does, FAIL ends with 1; anything else ends with 0. A child writes its process id to "<own name>.pids".
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

std::string ownPath()
{
    char path[MAX_PATH + 1] = {};
    return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

std::string beside(const std::string& ending)
{
    const std::string own = ownPath();
    return own.substr(0, own.size() - 4) + ending;
}

void append(const std::string& path, const std::string& text)
{
    if (std::FILE* out = std::fopen(path.c_str(), "ab")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

std::size_t linesIn(const std::string& path)
{
    std::size_t lines = 0;
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;)
            lines += c == '\n';
        std::fclose(in);
    }
    return lines;
}

// Starts a copy of itself that runs on, and waits until the copy has recorded itself.
void startChild()
{
    const std::size_t before = linesIn(beside(".pids"));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::string line = "\"" + ownPath() + "\" --child";
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        for (int i = 0; i < 500 && linesIn(beside(".pids")) == before; ++i)
            Sleep(10);
    }
}

} // namespace

int main()
{
    const std::string line = GetCommandLineA();
    if (line.find("--child") != std::string::npos) {
        append(beside(".pids"), std::to_string(GetCurrentProcessId()) + "\n");
        Sleep(60000);
        return 0;
    }
    const auto close = line.rfind('"');
    const auto open = close == std::string::npos ? close : line.rfind('"', close - 1);
    if (open == std::string::npos)
        return 2;
    std::string script;
    if (std::FILE* in = std::fopen(line.substr(open + 1, close - open - 1).c_str(), "rb")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            script.append(buffer, got);
        std::fclose(in);
    }
    append(beside(".txt"), script);
    append(beside(".pids"), std::to_string(GetCurrentProcessId()) + "\n");
    if (script.find("HANG") != std::string::npos) {
        startChild();
        Sleep(60000);
    }
    if (script.find("LEAVE") != std::string::npos)
        startChild();
    if (script.find("CRASH") != std::string::npos)
        TerminateProcess(GetCurrentProcess(), 0xC0000005); // as an access violation ends it, without a debugger
    return script.find("FAIL") != std::string::npos ? 1 : 0;
}
