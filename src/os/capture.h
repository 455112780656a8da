#pragma once

#include "os/result.h"

#include <chrono>
#include <string>
#include <vector>

// Running a short helper program of the system (a scheduler's own command line) to its end, with what it said.
// Implemented in capture_posix.cpp and capture_win.cpp.
namespace process {

struct Captured
{
    bool exited = false; // ended by itself; otherwise it crashed or was killed at the deadline
    int code = 0;        // its exit status
    std::string output;  // standard output and error together, UTF-8
    bool success() const { return exited && code == 0; }
};

// Runs arguments[0] (a name without a separator is looked up on PATH) with the whole list as its arguments,
// standard input empty, and waits until it ends or timeout has passed, when it is killed. Paths among the
// arguments are in the system's encoding (the ANSI code page on Windows); what the program wrote comes back as
// UTF-8 (on Windows read in the console's OEM code page, which the system's programs write in). A failure when it
// cannot be started, with the system's reason.
Result<Captured> capture(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout);

} // namespace process
