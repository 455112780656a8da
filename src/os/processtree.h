#pragma once

#include "os/process.h"
#include "os/result.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A started program kept under watch together with every process it starts, whatever group or session they
// move to: waited for with a deadline and killed as a whole. On Linux a keeper process that is a child
// subreaper stands between us and the program, so every orphan of the tree comes back to it, and it ends the
// tree when asked, when the program ends, and when we die; on Windows a job object holds the tree.
// Implemented in processtree_posix.cpp and processtree_win.cpp.
namespace process {

// Wakes a wait from another thread, or on POSIX from a signal handler. Once raised it stays raised.
class Interrupt final
{
public:
    Interrupt();
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    // Safe from any thread; async-signal-safe on POSIX.
    void raise() noexcept;
    bool raised() const noexcept;
    // The descriptor or event a wait listens on.
    std::intptr_t handle() const noexcept { return m_handle; }

private:
    std::intptr_t m_handle = -1;
    std::intptr_t m_writeHandle = -1;
};

// How the head of a tree ended.
struct Ending
{
    bool exited = false; // ended by itself with a status; otherwise killed by a signal or crashed
    int code = 0;        // the exit status, or the signal number (POSIX) / exception code (Windows)
    bool killed = false; // by ProcessTree::kill()
    bool success() const { return exited && code == 0; }
};

// How the journal and the messages put an ending: the exit status, "signal 11", "undantag 0xC0000005", "dödad".
// In the encoding of the system's paths and messages (the ANSI code page on Windows), as the journal's other texts.
std::string describe(const Ending& ending);

// A name for the processes of one session, unique on this machine.
std::string newSessionMark();
// Ends every process left of the sessions with these marks (by a run that was killed before it could end
// them itself), and returns once they are gone. Gives how many it ended.
std::size_t endSessions(const std::vector<std::string>& marks);

class ProcessTree final
{
public:
    // Starts the program named by a complete command line, as startCommandLine does, as the head of a new
    // tree; why not when it cannot be started.
    static Result<std::unique_ptr<ProcessTree>> start(const std::string& commandLine, Show show);
    // Starts a command (see argumentsOf, windowsCommandLine) as the head of a new tree whose processes carry
    // mark (newSessionMark), so that endSessions finds them should we die before we can end them.
    // With an output path, the program's standard output and error go to that file (made anew), standard
    // input reads nothing.
    static Result<std::unique_ptr<ProcessTree>> start(const Command& command, Show show, const std::string& mark,
                                                      const std::string& outputPath = {});
    // Kills what is left of the tree.
    ~ProcessTree();
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;

    enum class Wait
    {
        Ended,       // the head ended by itself; processes it left behind have been killed
        TimedOut,    // the deadline passed first; nothing was killed
        Interrupted, // the interrupt was raised first; nothing was killed
    };
    // Waits until the head ends, the deadline passes or the interrupt is raised (null: none). However the head
    // ended, no process carrying the tree's mark outlives it.
    Wait wait(std::chrono::steady_clock::time_point deadline, const Interrupt* interrupt);
    // Kills every process of the tree, the head included, and waits until the head is gone.
    void kill();
    // How the head ended; valid after Wait::Ended or kill().
    const Ending& ending() const { return m_ending; }
    // The head's process id.
    std::int64_t id() const { return m_id; }

private:
    struct Native;
    explicit ProcessTree(std::unique_ptr<Native> native);

    std::unique_ptr<Native> m_native;
    Ending m_ending;
    std::int64_t m_id = 0;
    bool m_done = false;
};

} // namespace process
