#include "os/processtree.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/random.h>
#include <sys/resource.h>
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
    pid_t keeper = -1;
    int news = -1;    // from the keeper: messages of the head's start and end
    int control = -1; // to the keeper: a byte, or its closing at our death, ends the tree
    std::string mark; // carried by the tree's processes, or empty
};

namespace {

constexpr char markName[] = "VENDREL_SESSION=";

// What the keeper tells: the head runs (its pid), could not start (errno), or ended (its wait status).
struct News
{
    enum Kind : int
    {
        Started = 1,
        NotStarted,
        Ended,
    } kind;
    int value;
};

Ending endingFrom(int status)
{
    if (WIFEXITED(status))
        return {true, WEXITSTATUS(status)};
    return {false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool readNews(int fd, News& news)
{
    ssize_t got;
    while ((got = ::read(fd, &news, sizeof news)) < 0 && errno == EINTR) {
    }
    return got == sizeof news;
}

// Everything from here to the end of the keeper runs in a child forked from a process that may have other
// threads: only async-signal-safe calls, no allocation.

volatile sig_atomic_t keeperAsked = 0;

extern "C" void keeperWoken(int signal)
{
    if (signal != SIGCHLD)
        keeperAsked = 1;
}

void sendNews(int fd, News::Kind kind, int value)
{
    const News news{kind, value};
    while (::write(fd, &news, sizeof news) < 0 && errno == EINTR) {
    }
}

// Sends SIGKILL to every pid listed in decimal in the file at fd.
void killListed(int fd, char* buffer, std::size_t size)
{
    pid_t pid = 0;
    ssize_t got;
    while ((got = ::read(fd, buffer, size)) > 0 || (got < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] >= '0' && buffer[i] <= '9') {
                pid = pid * 10 + (buffer[i] - '0');
            } else if (pid > 0) {
                ::kill(pid, SIGKILL);
                pid = 0;
            }
        }
    }
    if (pid > 0)
        ::kill(pid, SIGKILL);
}

// The parent's pid in the text of /proc/PID/stat, or -1.
pid_t parentIn(const char* stat, ssize_t size)
{
    ssize_t close = size - 1;
    while (close >= 0 && stat[close] != ')')
        --close;
    // ") S PPID ..."
    pid_t parent = 0;
    ssize_t i = close + 4;
    if (close < 0 || i >= size)
        return -1;
    for (; i < size && stat[i] >= '0' && stat[i] <= '9'; ++i)
        parent = parent * 10 + (stat[i] - '0');
    return parent;
}

// Sends SIGKILL to every child of the keeper.
void killChildren(char* buffer, std::size_t size)
{
    // The keeper has one thread, so its children are those of this task.
    if (const int fd = ::open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC); fd >= 0) {
        killListed(fd, buffer, size);
        ::close(fd);
        return;
    }
    // A kernel without that list: every process's parent is looked up.
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return;
    const pid_t self = ::getpid();
    char entries[4096];
    long got;
    while ((got = ::syscall(SYS_getdents64, proc, entries, sizeof entries)) > 0) {
        for (long at = 0; at < got;) {
            const char* name = entries + at + 19; // d_ino 8, d_off 8, d_reclen 2, d_type 1
            unsigned short length = 0;
            std::memcpy(&length, entries + at + 16, sizeof length);
            at += length;
            char path[64] = "/proc/";
            std::size_t used = 6;
            for (; *name >= '0' && *name <= '9' && used < 40; ++name)
                path[used++] = *name;
            if (*name != '\0' || used == 6)
                continue;
            std::memcpy(path + used, "/stat", 6);
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            const ssize_t size_ = ::read(fd, buffer, size);
            ::close(fd);
            if (size_ > 0 && parentIn(buffer, size_) == self) {
                pid_t pid = 0;
                for (std::size_t i = 6; i < used; ++i)
                    pid = pid * 10 + (path[i] - '0');
                ::kill(pid, SIGKILL);
            }
        }
    }
    ::close(proc);
}

// Kills the keeper's children until none is left: each dying process hands its own children to the keeper,
// the subreaper, so the tree is taken a level at a time, whatever group or session its processes chose.
void killAll(pid_t head, int& headStatus)
{
    char buffer[4096];
    while (true) {
        killChildren(buffer, sizeof buffer);
        bool reaped = false;
        while (true) {
            int status = 0;
            const pid_t pid = ::waitpid(-1, &status, WNOHANG);
            if (pid > 0) {
                reaped = true;
                if (pid == head)
                    headStatus = status;
                continue;
            }
            if (pid < 0 && errno == ECHILD)
                return;
            break;
        }
        if (!reaped) {
            const timespec pause{0, 1000000};
            ::nanosleep(&pause, nullptr);
        }
    }
}

void closeInherited(int keep1, int keep2)
{
    const unsigned low = static_cast<unsigned>(std::min(keep1, keep2));
    const unsigned high = static_cast<unsigned>(std::max(keep1, keep2));
#ifdef SYS_close_range
    bool closed = low <= 3 || ::syscall(SYS_close_range, 3u, low - 1, 0u) == 0;
    closed = closed && (high <= low + 1 || ::syscall(SYS_close_range, low + 1, high - 1, 0u) == 0);
    if (closed && ::syscall(SYS_close_range, high + 1, ~0u, 0u) == 0)
        return;
#endif
    rlimit limit{};
    const int top = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? int(limit.rlim_cur) : 65536;
    for (int fd = 3; fd < top; ++fd) {
        if (fd != keep1 && fd != keep2)
            ::close(fd);
    }
}

// The keeper: starts the head, tells the parent how it went, waits for the head's end or the parent's word or
// death, then ends the whole tree and tells how the head ended.
// output, when not -1, becomes the head's standard output and error, and input its standard input.
[[noreturn]] void keep(const char* file, char* const* argv, char* const* envp, int news, int control, int output,
                       int input)
{
    // A session of its own: no terminal signals from ours. Our death must not take it: it ends the tree then.
    ::setsid();
#ifdef __linux__
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::prctl(PR_SET_NAME, "vendrel-keeper");
#endif
    // The keeper takes the output file as its own standard streams, which the head inherits.
    if (output >= 0 && (::dup2(output, 1) < 0 || ::dup2(output, 2) < 0 || ::dup2(input, 0) < 0)) {
        sendNews(news, News::NotStarted, errno);
        ::_exit(0);
    }
    closeInherited(news, control);

    struct sigaction action{};
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &action, nullptr);
    action.sa_handler = keeperWoken;
    sigset_t watched;
    sigemptyset(&watched);
    for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&watched, signal);
    }
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &watched, &waiting);
    for (const int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigdelset(&waiting, signal);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        sendNews(news, News::NotStarted, errno);
        ::_exit(0);
    }
    const pid_t keeper = ::getpid();
    const pid_t head = ::fork();
    if (head < 0) {
        sendNews(news, News::NotStarted, errno);
        ::_exit(0);
    }
    if (head == 0) {
        ::close(news);
        ::close(control);
        ::close(report[0]);
#ifdef __linux__
        // Should the keeper die without a chance to clean up, the head goes with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != keeper)
            ::_exit(127);
#endif
        struct sigaction plain{};
        plain.sa_handler = SIG_DFL;
        for (const int signal : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &plain, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(file, argv, envp);
        const int failure = errno;
        [[maybe_unused]] const ssize_t ignored = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    int failure = 0;
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    int headStatus = 0;
    if (got != 0) {
        killAll(head, headStatus);
        sendNews(news, News::NotStarted, got == sizeof failure ? failure : EIO);
        ::_exit(0);
    }
    sendNews(news, News::Started, head);

    bool headEnded = false;
    while (!headEnded && !keeperAsked) {
        int status = 0;
        pid_t pid;
        while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
            if (pid == head) {
                headStatus = status;
                headEnded = true;
            }
        }
        if (headEnded)
            break;
        pollfd watch{control, POLLIN, 0};
        if (::ppoll(&watch, 1, nullptr, &waiting) > 0)
            break; // a word from the parent, or its death
    }
    killAll(head, headStatus);
    sendNews(news, News::Ended, headStatus);
    ::_exit(0);
}

// Once a tree's keeper is gone. A keeper killed from outside ends nothing, and the processes it held went to
// whoever adopts orphans: they still carry the session's mark.
void endLeftovers(const std::string& mark)
{
    if (!mark.empty())
        endSessions({mark});
}

// The environment of a session's processes: ours, with the session's mark.
std::vector<std::string> markedEnvironment(const std::string& mark)
{
    std::vector<std::string> variables;
    for (char** variable = environ; variable && *variable; ++variable) {
        if (std::strncmp(*variable, markName, sizeof markName - 1) != 0)
            variables.emplace_back(*variable);
    }
    if (!mark.empty())
        variables.push_back(markName + mark);
    return variables;
}

} // namespace

ProcessTree::ProcessTree(std::unique_ptr<Native> native) : m_native(std::move(native)) {}

ProcessTree::~ProcessTree()
{
    if (!m_done)
        kill();
    ::close(m_native->news);
    ::close(m_native->control);
}

Result<std::unique_ptr<ProcessTree>> ProcessTree::start(const std::string& commandLine, Show show)
{
    return start(Command{{commandLine, true}}, show, std::string());
}

Result<std::unique_ptr<ProcessTree>> ProcessTree::start(const Command& command, Show, const std::string& mark,
                                                        const std::string& outputPath)
{
    using Started = Result<std::unique_ptr<ProcessTree>>;
    // Opened here, where a failure can be told; the head takes them over.
    struct Descriptor
    {
        int fd = -1;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } output, input;
    if (!outputPath.empty()) {
        output.fd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        input.fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (output.fd < 0 || input.fd < 0)
            return Started::failure(outputPath + ": " + std::strerror(errno));
    }
    const auto words = argumentsOf(command);
    if (!words || words->empty())
        return Started::failure("kommandoraden kan inte delas i ord");
    // Everything the keeper and the head need is prepared before the fork.
    std::vector<char*> argv;
    for (const std::string& word : *words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables = markedEnvironment(mark);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const char* file = words->front().c_str();

    int news[2];
    int control[2];
    if (::pipe2(news, O_CLOEXEC) != 0)
        return Started::failure(std::strerror(errno));
    if (::pipe2(control, O_CLOEXEC) != 0) {
        const int failure = errno;
        ::close(news[0]);
        ::close(news[1]);
        return Started::failure(std::strerror(failure));
    }
    const pid_t keeper = ::fork();
    if (keeper == 0) {
        ::close(news[0]);
        ::close(control[1]);
        keep(file, argv.data(), envp.data(), news[1], control[0], output.fd, input.fd);
    }
    const int failure = errno;
    ::close(news[1]);
    ::close(control[0]);
    auto native = std::make_unique<Native>();
    native->news = news[0];
    native->control = control[1];
    if (keeper < 0) {
        ::close(native->news);
        ::close(native->control);
        return Started::failure(std::strerror(failure));
    }
    native->keeper = keeper;
    native->mark = mark;
    News first{};
    if (!readNews(native->news, first) || first.kind != News::Started) {
        reap(keeper);
        ::close(native->news);
        ::close(native->control);
        return Started::failure(std::strerror(first.kind == News::NotStarted ? first.value : EIO));
    }
    auto tree = std::unique_ptr<ProcessTree>(new ProcessTree(std::move(native)));
    tree->m_id = first.value;
    return tree;
}

ProcessTree::Wait ProcessTree::wait(std::chrono::steady_clock::time_point deadline, const Interrupt* interrupt)
{
    using namespace std::chrono;
    if (m_done)
        return Wait::Ended;
    while (true) {
        const auto now = steady_clock::now();
        pollfd watch[2] = {{m_native->news, POLLIN, 0}, {interrupt ? int(interrupt->handle()) : -1, POLLIN, 0}};
        const auto remaining = now >= deadline ? milliseconds(0) : ceil<milliseconds>(deadline - now);
        const int timeout = static_cast<int>(std::min<milliseconds::rep>(remaining.count(), 1 << 30));
        if (::poll(watch, interrupt ? 2 : 1, timeout) < 0 && errno != EINTR)
            return Wait::TimedOut;
        if (watch[0].revents) {
            // The head ended; the keeper has ended what it left behind, and ends itself.
            News news{};
            const bool told = readNews(m_native->news, news) && news.kind == News::Ended;
            reap(m_native->keeper);
            endLeftovers(m_native->mark);
            m_ending = told ? endingFrom(news.value) : Ending{false, SIGKILL};
            m_done = true;
            return Wait::Ended;
        }
        if (interrupt && interrupt->raised())
            return Wait::Interrupted;
        if (steady_clock::now() >= deadline)
            return Wait::TimedOut;
    }
}

void ProcessTree::kill()
{
    if (m_done)
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(m_native->control, &byte, 1);
    News news{};
    const bool told = readNews(m_native->news, news) && news.kind == News::Ended;
    reap(m_native->keeper);
    endLeftovers(m_native->mark);
    m_ending = told ? endingFrom(news.value) : Ending{false, SIGKILL};
    m_ending.killed = true;
    m_done = true;
}

std::string newSessionMark()
{
    unsigned char random[16] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        // Without randomness the time and our pid still tell sessions of this machine apart.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::memcpy(random, &now, sizeof now);
        const pid_t self = ::getpid();
        std::memcpy(random + sizeof now, &self, sizeof self);
    }
    constexpr char digits[] = "0123456789abcdef";
    std::string mark;
    for (const unsigned char byte : random) {
        mark.push_back(digits[byte >> 4]);
        mark.push_back(digits[byte & 0xF]);
    }
    return mark;
}

namespace {

// Whether a process's environment holds one of the marks.
bool carriesMark(const std::string& pid, const std::vector<std::string>& marks)
{
    const int fd = ::open(("/proc/" + pid + "/environ").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string environment;
    char buffer[16384];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            environment.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    environment.insert(environment.begin(), '\0');
    for (const std::string& mark : marks) {
        if (environment.find(std::string(1, '\0') + markName + mark + '\0') != std::string::npos)
            return true;
    }
    return false;
}

// Sends SIGKILL to the process that carries a mark under pid. Where the system has process handles, the kill
// goes to the process whose environment was read: a pid given to another process in between is never hit.
bool killMarked(pid_t pid, const std::string& name, const std::vector<std::string>& marks)
{
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
    const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (handle >= 0) {
        const bool marked = carriesMark(name, marks);
        if (marked)
            ::syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0);
        ::close(handle);
        return marked;
    }
    if (errno == ESRCH)
        return false;
#endif
    if (!carriesMark(name, marks))
        return false;
    ::kill(pid, SIGKILL);
    return true;
}

} // namespace

std::size_t endSessions(const std::vector<std::string>& marks)
{
    if (marks.empty())
        return 0;
    std::set<pid_t> ended;
    const pid_t self = ::getpid();
    // Killed processes lose their environment as they go: the search is repeated until it finds none.
    for (int round = 0; round < 1000; ++round) {
        bool found = false;
        DIR* proc = ::opendir("/proc");
        if (!proc)
            break;
        while (const dirent* entry = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid <= 0 || *end != '\0' || pid == self || !carriesMark(entry->d_name, marks) ||
                !killMarked(static_cast<pid_t>(pid), entry->d_name, marks))
                continue;
            ended.insert(static_cast<pid_t>(pid));
            found = true;
        }
        ::closedir(proc);
        if (!found)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return ended.size();
}

} // namespace process
