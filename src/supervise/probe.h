#pragma once

#include "os/result.h"
#include "supervise/engine.h"

#include <chrono>
#include <optional>
#include <string>

namespace process {
class Interrupt;
}

// Whether a CAD program carries out drawing marks, found by trying it, and the answer kept per program.
namespace supervise {

struct ProbeRequest
{
    // A CAD program can take its time to start: a probe waits at least this long for the mark.
    static constexpr std::chrono::milliseconds shortestTimeout{std::chrono::seconds(60)};

    script::CadProgram program;
    std::chrono::milliseconds timeout = shortestTimeout;
    CommandForm form = CommandForm::Standard;
};

// The program's own answer, to be kept for it.
struct ProbeAnswer
{
    bool marksWork = false;
    std::string detail; // why not, in the system's encoding (the ANSI code page on Windows) as its paths are
};

// Runs the program on its start drawing with a script of one mark and ".EXIT" (in a folder of its own under
// the system's temporary folder, removed afterwards) and waits at most the time-out for the mark. Fails, in
// the same encoding, when the program could not be started or the probe could not be made: no answer of the
// program's own, and none to keep.
Result<ProbeAnswer> probeMarks(const ProbeRequest& request, const process::Interrupt* interrupt = nullptr);

// The answer kept for a program (by its path), nothing when it was never probed nor set.
std::optional<bool> storedMarks(const std::string& program);
// Keeps the answer for the program; fails when the file of answers cannot be written.
Result<void> storeMarks(const std::string& program, bool marksWork);

bool marksFor(MarksChoice choice, const std::string& program);
// The policy as a run over the program goes by it: marks On or Off (Auto by the kept answer), the form chosen.
RunPolicy resolvedPolicy(RunPolicy policy, const std::string& program);

} // namespace supervise
