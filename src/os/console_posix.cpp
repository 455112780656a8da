#include "os/console.h"
#include "os/pathtext.h"
#include "os/processtree.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace console {

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<void (*)() noexcept> stopHandler{nullptr};

extern "C" void onStopSignal(int)
{
    if (const auto stop = stopHandler.load())
        stop();
}

// Caught rather than ignored: an ignored signal stays ignored in the programs we start.
extern "C" void onBrokenPipe(int) {}
// A write past the file-size limit (ulimit -f) fails with EFBIG instead of ending the program, as a full disk
// fails with ENOSPC: the journal is cut back and the run stops with its message.
extern "C" void onFileTooLarge(int) {}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

bool ignored(int signal)
{
    struct sigaction current
    {
    };
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Escapes the characters of a name that would end or garble its line.
void appendEscaped(std::string& text, char c)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '\t':
        text += "\\t";
        return;
    case '\n':
        text += "\\n";
        return;
    case '\r':
        text += "\\r";
        return;
    case '\\':
        text += "\\\\";
        return;
    default:
        if (byte < 0x20 || byte >= 0x7F) {
            text.append("\\x").append(1, hexDigits[byte >> 4]).append(1, hexDigits[byte & 0xF]);
            return;
        }
        text.push_back(c);
    }
}

} // namespace

bool write(Stream stream, std::string_view text)
{
    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

void guardStandardStreams()
{
    for (int stream = 0; stream <= 2; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = ::open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != stream) {
            ::dup2(null, stream);
            ::close(null);
        }
    }
    if (!ignored(SIGPIPE))
        handle(SIGPIPE, onBrokenPipe);
    if (!ignored(SIGXFSZ))
        handle(SIGXFSZ, onFileTooLarge);
}

void catchStopRequests(void (*stop)() noexcept)
{
    stopHandler = stop;
    // One started under nohup, or in the background by a shell, stays out of reach as it was asked to.
    for (const int signal : stopSignals) {
        if (!ignored(signal))
            handle(signal, onStopSignal);
    }
}

void releaseStopRequests()
{
    for (const int signal : stopSignals) {
        if (!ignored(signal))
            handle(signal, SIG_DFL);
    }
    stopHandler = nullptr;
}

Result<std::string, InputProblem> readInput(const process::Interrupt* stop)
{
    const auto failed = [] { return Result<std::string, InputProblem>::failure({false, std::strerror(errno)}); };
    std::string all;
    char buffer[64 * 1024];
    for (;;) {
        // poll is never restarted after a signal's handler, so a stop ends the wait at once.
        pollfd watch[2] = {{0, POLLIN, 0}, {stop ? static_cast<int>(stop->handle()) : -1, POLLIN, 0}};
        if (::poll(watch, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return failed();
        }
        if (watch[1].revents != 0)
            return Result<std::string, InputProblem>::failure({true, {}});
        if (watch[0].revents == 0)
            continue;
        const ssize_t got = ::read(0, buffer, sizeof buffer);
        if (got == 0)
            return all;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return failed();
        }
        all.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string escapedName(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const auto lead = static_cast<unsigned char>(bytes.front());
        if (lead < 0x80) {
            appendEscaped(text, bytes.front());
            bytes.remove_prefix(1);
            continue;
        }
        // A letter is the whole sequence its first byte announces, as pathText passes it on unchanged.
        const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view letter = bytes.substr(0, length);
        if (lead < 0xC0 || pathText(letter) != letter) {
            appendEscaped(text, bytes.front());
            bytes.remove_prefix(1);
            continue;
        }
        text.append(letter);
        bytes.remove_prefix(length);
    }
    return text;
}

} // namespace console
