#include "os/capture.h"
#include "os/process.h"

#include <vector>
#include <windows.h>

namespace process {

namespace {

std::string systemMessage(DWORD error)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "fel " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

std::string utf8From(UINT page, const std::string& bytes)
{
    if (bytes.empty())
        return {};
    const int wide = MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring utf16(std::size_t(wide), L'\0');
    MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), utf16.data(), wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string text(std::size_t(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, text.data(), narrow, nullptr, nullptr);
    return text;
}

} // namespace

// The output goes to an unnamed pipe read by a thread of its own, so that a program that writes much never
// waits on us while we wait on it.
Result<Captured> capture(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout)
{
    using Failure = Result<Captured>;
    if (arguments.empty())
        return Failure::failure("inget program");
    Command command;
    for (const std::string& argument : arguments)
        command.push_back({argument, false});
    std::string line = windowsCommandLine(command);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return Failure::failure(systemMessage(GetLastError()));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    // Only the pipe and the null device are inherited: a helper that outlives its moment (Wine starts console
    // hosts beside it) must not hold the caller's own output files open.
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nothing;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = writeEnd;
    HANDLE inherited[2] = {writeEnd, nothing};
    const DWORD inheritedCount = nothing != INVALID_HANDLE_VALUE ? 2 : 1;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    const bool listed = InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size);
    BOOL ok = listed && UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  inherited, inheritedCount * sizeof(HANDLE), nullptr, nullptr);
    PROCESS_INFORMATION started{};
    if (ok)
        ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                            &started);
    const DWORD startError = GetLastError();
    if (listed)
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE)
        CloseHandle(nothing);
    if (!ok) {
        CloseHandle(readEnd);
        return Failure::failure(arguments.front() + ": " + systemMessage(startError));
    }
    CloseHandle(started.hThread);

    struct Reading
    {
        HANDLE pipe;
        std::string bytes;
    } reading{readEnd, {}};
    HANDLE reader = CreateThread(
        nullptr, 0,
        [](LPVOID context) -> DWORD {
            auto& state = *static_cast<Reading*>(context);
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(state.pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
                state.bytes.append(buffer, got);
            return 0;
        },
        &reading, 0, nullptr);

    Captured captured;
    const DWORD waited = WaitForSingleObject(started.hProcess, DWORD(timeout.count()));
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, INFINITE);
    } else {
        DWORD code = 0;
        GetExitCodeProcess(started.hProcess, &code);
        captured.exited = true;
        captured.code = int(code);
    }
    CloseHandle(started.hProcess);
    // Left-over children may hold the pipe: the reading gets a moment, then is cut off.
    if (reader) {
        if (WaitForSingleObject(reader, 2000) != WAIT_OBJECT_0) {
            CancelSynchronousIo(reader);
            WaitForSingleObject(reader, INFINITE);
        }
        CloseHandle(reader);
    }
    CloseHandle(readEnd);
    captured.output = utf8From(CP_OEMCP, reading.bytes);
    return captured;
}

} // namespace process
