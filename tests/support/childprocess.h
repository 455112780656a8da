#pragma once

// A program under test run as a child process, as a shell would run it: its standard input from /dev/null, its
// standard output and error into files the test reads afterwards. POSIX only.

#include "support/tempfolder.h"

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ChildOutcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts words[0] with the other words as its arguments. An empty out or err path sends that stream to /dev/null.
// before runs in the child just before the program starts.
inline pid_t startChild(std::vector<std::string> words, const std::string& out, const std::string& err,
                        const std::function<void()>& before = {})
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto into = [](const std::string& path) {
            return path.empty() ? ::open("/dev/null", O_WRONLY)
                                : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        };
        ::dup2(into(out), 1);
        ::dup2(into(err), 2);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        if (before)
            before();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// The child's exit status once it has ended, or 128 plus the signal that ended it.
inline int waitChild(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits for the child and reads what it wrote to the files startChild was given.
inline ChildOutcome finishChild(pid_t pid, const std::string& out, const std::string& err)
{
    const int exitCode = waitChild(pid);
    return {exitCode, out.empty() ? std::string() : readFile(out), err.empty() ? std::string() : readFile(err)};
}
