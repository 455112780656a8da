#pragma once

#include "os/processtree.h"
#include "script/drawingmarks.h"
#include "supervise/journal.h"

#include <span>
#include <string_view>
#include <vector>

// What a session's end, its marks and the watchdog make of the drawings of its batch. Decisions over values
// only: the engine gathers them from the processes, the marks file and the clock, and writes what they say.
namespace supervise {

// What the marks file told of one drawing of the batch.
enum class Seen
{
    Nothing, // no mark: as far as anyone can tell, the session never opened it
    Begun,   // its begin mark and no end mark: it was in progress
    Ended,   // its end mark: done, and settled as such when the mark came
};

// How the batch's session came to its end.
struct SessionEnding
{
    process::Ending ending; // as the process tree tells it
    bool timedOut = false;  // the watchdog killed it
    bool marks = false;     // its script carried drawing marks
};

// What becomes of one drawing.
struct Verdict
{
    enum class Action
    {
        Keep,    // settled already, by its end mark
        Settle,  // gets state
        Requeue, // never opened in this session: pending again, the next session takes it
    };
    Action action = Action::Settle;
    State state = State::Pending;
    // Why, after the exit status in the journal ("signal 11: hängde i den här ritningen"); empty: the status alone.
    std::string_view cause;

    friend bool operator==(const Verdict&, const Verdict&) = default;
};

// Why a drawing settled by its end mark is done; it stands in the journal in place of an exit status.
inline constexpr std::string_view endMarkCause = "slutmärke";

// Whether the run's stop ended the session (killed, and not by the watchdog): the run counts as stopped.
bool stoppedByInterrupt(const SessionEnding& end);

// Each drawing's verdict, in the batch's order, from what its marks told. Without marks, or when none came
// (a program that does not carry them out), the session's ending is every drawing's; with marks, a crash or a
// hang costs only the drawing in progress and the ones never opened go back to the queue.
std::vector<Verdict> batchVerdicts(const SessionEnding& end, std::span<const Seen> seen);

// A mark read for a drawing that stood at seen: what it stands at now, and whether the mark is news (it moves
// the watchdog's time-out on). Marks of a drawing that has ended change nothing: its result is written.
struct MarkStep
{
    Seen seen = Seen::Nothing;
    bool news = false;
};
MarkStep afterMark(Seen seen, script::MarkKind kind);

} // namespace supervise
