#include "os/capture.h"
#include "os/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace process {

Result<Captured> capture(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout)
{
    using Failure = Result<Captured>;
    if (arguments.empty())
        return Failure::failure("inget program");
    const std::string file = findExecutable(arguments.front());
    if (file.empty())
        return Failure::failure("hittar inte " + arguments.front());
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return Failure::failure(std::strerror(errno));
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(output[0]);
        ::close(output[1]);
        if (nothing >= 0)
            ::close(nothing);
        return Failure::failure(std::strerror(error));
    }
    if (child == 0) {
        if (nothing >= 0)
            ::dup2(nothing, 0);
        ::dup2(output[1], 1);
        ::dup2(output[1], 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction defaultAction
        {
        };
        defaultAction.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &defaultAction, nullptr);
        ::execv(file.c_str(), argv.data());
        constexpr char message[] = "exec failed\n";
        [[maybe_unused]] const auto written = ::write(1, message, sizeof message - 1);
        ::_exit(127);
    }
    ::close(output[1]);
    if (nothing >= 0)
        ::close(nothing);

    Captured captured;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool killed = false;
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            killed = true;
            break;
        }
        pollfd wait{output[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(output[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // every writer has gone
        captured.output.append(buffer, std::size_t(got));
    }
    ::close(output[0]);
    int status = 0;
    // A program that closed its output but lives on is waited for until the deadline too.
    while (true) {
        const pid_t done = ::waitpid(child, &status, killed ? 0 : WNOHANG);
        if (done < 0 && errno == EINTR)
            continue;
        if (done != 0)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            killed = true;
            continue;
        }
        ::usleep(10000);
    }
    captured.exited = !killed && WIFEXITED(status);
    captured.code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    return captured;
}

} // namespace process
