#include "os/console.h"
#include "os/pathtext.h"
#include "os/processtree.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <string>
#include <windows.h>

namespace console {

namespace {

std::atomic<void (*)() noexcept> stopHandler{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const auto stop = stopHandler.load();
    if (!stop)
        return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stop();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this returns: it waits here while the run comes to its end, and
        // the process's own end takes this thread with it.
        stop();
        Sleep(INFINITE);
        return TRUE;
    default:
        // A log-off reaches every console program, that of another user's scheduled task too.
        return FALSE;
    }
}

std::string systemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
        message.resize(std::size_t(std::max(size, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), message.data(), size, nullptr, nullptr);
    }
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "Windows-fel " + std::to_string(error) : message;
}

// What the reading thread shares with the one that waits for it; the last of the two to let go of it ends it.
struct Reading
{
    HANDLE input = nullptr;
    std::string bytes;
    DWORD error = 0;
};

DWORD WINAPI readAll(void* parameter)
{
    const std::unique_ptr<std::shared_ptr<Reading>> own(static_cast<std::shared_ptr<Reading>*>(parameter));
    Reading& reading = **own;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(reading.input, buffer, sizeof buffer, &got, nullptr)) {
            const DWORD error = GetLastError();
            // The writer of a pipe has closed it: that is its end.
            if (error != ERROR_BROKEN_PIPE)
                reading.error = error;
            return 0;
        }
        if (got == 0) // the end of a file, or Ctrl+Z on a console
            return 0;
        reading.bytes.append(buffer, got);
    }
}

} // namespace

bool write(Stream stream, std::string_view text)
{
    // Redirected, both streams end lines with LF, as on every other platform: the C library would make them
    // CR LF on standard error alone.
    [[maybe_unused]] static const bool binary = [] {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        return true;
    }();

    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    const HANDLE handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode) ||
        text.size() > std::size_t(INT_MAX))
        return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;

    // A console: whatever went through the C library before comes first.
    std::fflush(file);
    if (text.empty())
        return true;
    const int size = int(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    // In pieces a console takes at once, never between the two halves of a surrogate pair.
    constexpr std::size_t piece = 8192;
    for (std::size_t from = 0; from < wide.size();) {
        std::size_t count = std::min(piece, wide.size() - from);
        if (from + count < wide.size() && IS_HIGH_SURROGATE(wide[from + count - 1]))
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + from, DWORD(count), &written, nullptr) || written == 0)
            return false;
        from += written;
    }
    return true;
}

void guardStandardStreams()
{
    // Nothing to do: a missing standard handle takes no file's place, and a pipe without a reader fails the
    // write without a signal.
}

void catchStopRequests(void (*stop)() noexcept)
{
    stopHandler = stop;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void releaseStopRequests()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    stopHandler = nullptr;
}

Result<std::string, InputProblem> readInput(const process::Interrupt* stop)
{
    auto reading = std::make_shared<Reading>();
    reading->input = GetStdHandle(STD_INPUT_HANDLE);
    // A program started without standard input (by the scheduler, say) has nothing to read.
    if (reading->input == nullptr || reading->input == INVALID_HANDLE_VALUE)
        return std::string();
    // A read of a console or a pipe cannot be woken, so it goes on in a thread of its own that is left to
    // itself when the stop comes first.
    auto* shared = new std::shared_ptr<Reading>(reading);
    const HANDLE thread = CreateThread(nullptr, 0, readAll, shared, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        delete shared;
        return Result<std::string, InputProblem>::failure({false, systemMessage(error)});
    }
    const HANDLE waits[2] = {thread, stop ? reinterpret_cast<HANDLE>(stop->handle()) : nullptr};
    const DWORD woken = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, INFINITE);
    const DWORD waitError = GetLastError();
    CloseHandle(thread);
    if (woken == WAIT_OBJECT_0 + 1)
        return Result<std::string, InputProblem>::failure({true, {}});
    if (woken != WAIT_OBJECT_0)
        return Result<std::string, InputProblem>::failure({false, systemMessage(waitError)});
    if (reading->error != 0)
        return Result<std::string, InputProblem>::failure({false, systemMessage(reading->error)});
    return std::move(reading->bytes);
}

std::string escapedName(std::string_view bytes)
{
    // Every name the file system gives is text in the ANSI code page, and none holds a control character; a
    // journal written by hand may, and its line must stay one line.
    std::string text;
    for (const char c : pathText(bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t')
            text += "\\t";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (byte < 0x20 || byte == 0x7F) {
            static constexpr char hexDigits[] = "0123456789ABCDEF";
            text.append("\\x").append(1, hexDigits[byte >> 4]).append(1, hexDigits[byte & 0xF]);
        } else
            text.push_back(c);
    }
    return text;
}

} // namespace console
