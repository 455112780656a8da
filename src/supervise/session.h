#pragma once

#include "os/process.h"
#include "os/processtree.h"
#include "os/result.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the engine needs of the world beyond its files: a CAD session to start and watch, and the clocks. The
// engine gets them handed in (RunEngine::Setup), so a test can stand in for the program and the time.
namespace supervise {

// One started CAD session under watch. Whatever is left of it goes with the object.
class Session
{
public:
    virtual ~Session() = default;
    // Waits until the program ends, the deadline (on the run's steady clock) passes or the interrupt is raised.
    virtual process::ProcessTree::Wait wait(std::chrono::steady_clock::time_point deadline,
                                            const process::Interrupt* interrupt) = 0;
    // Kills every process of the session and returns once the program is gone.
    virtual void kill() = 0;
    // How the program ended; valid after Wait::Ended or kill().
    virtual const process::Ending& ending() const = 0;
};

// What a session is started with.
struct SessionStart
{
    process::Command command;
    std::string processMark; // carried by its processes (process::newSessionMark)
    std::string outputPath;  // where the program's output goes (the console form), or empty
    std::size_t session = 1; // its number in the run (from 1), which names its script and marks files
};

// Starts a session, or says why it cannot.
using SessionStarter = std::function<Result<std::unique_ptr<Session>>(const SessionStart&)>;

// The real one: the command as the head of a process tree (process::ProcessTree), shown minimised.
Result<std::unique_ptr<Session>> startProcessTree(const SessionStart& start);

// The clocks of a run: the steady one for deadlines, the wall clock (milliseconds since the epoch) for the
// journal's times. Both are read from every session's thread.
struct RunClock
{
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<std::int64_t()> wallMs;
};

// The system's clocks.
RunClock systemClock();

} // namespace supervise
