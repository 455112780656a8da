#include "os/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace process {

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Between fork and exec only async-signal-safe calls are made: everything is prepared before the fork.
// The program runs as a grandchild in its own session, so it is never our zombie and outlives us; the
// child that forks it is reaped at once. A pipe closed on exec tells whether the exec succeeded.
bool spawnDetached(const std::string& file, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int error = errno;
            writeAll(report[1], &error, sizeof error);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction defaultAction{};
        defaultAction.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &defaultAction, nullptr);
        ::execv(file.c_str(), argv.data());
        const int error = errno;
        writeAll(report[1], &error, sizeof error);
        ::_exit(127);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return got == 0;
}

} // namespace

std::string findExecutable(std::string_view name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string_view::npos)
        return std::string(name);
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = folders.find(':');
        std::string_view folder = folders.substr(0, colon);
        // An empty entry stands for the current folder.
        std::string candidate = folder.empty() ? std::string(".") : std::string(folder);
        candidate.append("/").append(name);
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        folders.remove_prefix(colon + 1);
    }
}

bool startProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return false;
    const std::string file = findExecutable(arguments.front());
    if (file.empty())
        return false;
    return spawnDetached(file, arguments);
}

bool startCommandLine(const std::string& commandLine, Show)
{
    // A desktop has no portable way to ask a new program to start minimised; the state is the program's.
    // The first word is the program's file as the caller found it, a bare name in the current folder: never
    // looked up on PATH, where a program of the same name would start instead.
    const auto words = splitCommandLine(commandLine);
    return words && !words->empty() && spawnDetached(words->front(), *words);
}

bool isProgramFile(const std::string& path)
{
    return isExecutableFile(path);
}

bool programFilesHaveExtension()
{
    return false;
}

} // namespace process
