#include "os/processtree.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace process {

Interrupt::Interrupt()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_handle = fds[0];
        m_writeHandle = fds[1];
    }
}

Interrupt::~Interrupt()
{
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
        ::close(static_cast<int>(m_writeHandle));
    }
}

void Interrupt::raise() noexcept
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe is raised already.
    [[maybe_unused]] const ssize_t ignored = ::write(static_cast<int>(m_writeHandle), &byte, 1);
    errno = saved;
}

bool Interrupt::raised() const noexcept
{
    pollfd watch{static_cast<int>(m_handle), POLLIN, 0};
    return ::poll(&watch, 1, 0) == 1;
}

std::string describe(const Ending& ending)
{
    return ending.exited ? std::to_string(ending.code) : "signal " + std::to_string(ending.code);
}

struct ProcessTree::Native
{
    pid_t pid = -1;
    int pidfd = -1; // -1 where the kernel has no process descriptors: the wait then polls
};

namespace {

Ending endingFrom(int status)
{
    if (WIFEXITED(status))
        return {true, WEXITSTATUS(status)};
    return {false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

int openProcessDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

bool hasEnded(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

ProcessTree::ProcessTree(std::unique_ptr<Native> native) : m_native(std::move(native)), m_id(m_native->pid) {}

ProcessTree::~ProcessTree()
{
    if (!m_done)
        kill();
    if (m_native->pidfd >= 0)
        ::close(m_native->pidfd);
}

std::unique_ptr<ProcessTree> ProcessTree::start(const std::string& commandLine, Show, std::string& error)
{
    const auto words = splitCommandLine(commandLine);
    if (!words || words->empty()) {
        error = "kommandoraden kan inte delas i ord";
        return nullptr;
    }
    // Everything the child needs is prepared before the fork: between fork and exec only async-signal-safe
    // calls are made.
    std::vector<char*> argv;
    for (const std::string& word : *words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const char* file = words->front().c_str();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::strerror(errno);
        ::close(report[0]);
        ::close(report[1]);
        return nullptr;
    }
    if (child == 0) {
        ::close(report[0]);
        // A session of its own: the group that is killed as a whole, and no terminal signals from ours.
        ::setsid();
#ifdef __linux__
        // Should we die without a chance to clean up, the head goes with us rather than work on unwatched.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
#endif
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction defaultAction
        {
        };
        defaultAction.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &defaultAction, nullptr);
        ::execv(file, argv.data());
        const int failure = errno;
        [[maybe_unused]] const ssize_t ignored = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    (void)parent;
    ::close(report[1]);
    int failure = 0;
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got != 0) {
        reap(child);
        error = std::strerror(got == sizeof failure ? failure : EIO);
        return nullptr;
    }
    auto native = std::make_unique<Native>();
    native->pid = child;
    native->pidfd = openProcessDescriptor(child);
    return std::unique_ptr<ProcessTree>(new ProcessTree(std::move(native)));
}

ProcessTree::Wait ProcessTree::wait(std::chrono::steady_clock::time_point deadline, const Interrupt* interrupt)
{
    using namespace std::chrono;
    if (m_done)
        return Wait::Ended;
    const pid_t pid = m_native->pid;
    auto poll = std::chrono::milliseconds(1);
    while (true) {
        if (hasEnded(pid)) {
            // The head is a zombie and still holds its group: whatever it left behind is killed before the
            // group's number can be reused.
            ::kill(-pid, SIGKILL);
            m_ending = endingFrom(reap(pid));
            m_done = true;
            return Wait::Ended;
        }
        if (interrupt && interrupt->raised())
            return Wait::Interrupted;
        const auto now = steady_clock::now();
        if (now >= deadline)
            return Wait::TimedOut;
        auto remaining = ceil<milliseconds>(deadline - now);
        pollfd watch[2];
        nfds_t count = 0;
        if (m_native->pidfd >= 0) {
            watch[count++] = {m_native->pidfd, POLLIN, 0};
        } else {
            // Without a process descriptor the end is noticed by looking again, soon at first.
            remaining = std::min(remaining, poll);
            poll = std::min(poll * 2, milliseconds(50));
        }
        if (interrupt)
            watch[count++] = {static_cast<int>(interrupt->handle()), POLLIN, 0};
        const int timeout = static_cast<int>(std::min<milliseconds::rep>(remaining.count(), 1 << 30));
        if (count == 0)
            std::this_thread::sleep_for(milliseconds(timeout));
        else
            ::poll(watch, count, timeout);
    }
}

void ProcessTree::kill()
{
    if (m_done)
        return;
    const pid_t pid = m_native->pid;
    if (::kill(-pid, SIGKILL) != 0)
        ::kill(pid, SIGKILL);
    m_ending = endingFrom(reap(pid));
    m_ending.killed = true;
    m_done = true;
}

} // namespace process
