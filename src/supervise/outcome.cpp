#include "supervise/outcome.h"

#include <algorithm>

namespace supervise {

namespace {

constexpr std::string_view hungHere = "hängde i den här ritningen";
constexpr std::string_view endedHere = "CAD-programmet avslutades i den här ritningen";
constexpr std::string_view stoppedHere = "scriptet stannade i den här ritningen";
constexpr std::string_view stoppedBefore = "scriptet stannade före den här ritningen";

Verdict verdictFor(const SessionEnding& end, bool stopped, bool whole, Seen seen)
{
    using Action = Verdict::Action;
    const process::Ending& ending = end.ending;
    if (seen == Seen::Ended)
        return {Action::Keep, State::Done, endMarkCause};
    if (stopped)
        return {Action::Settle, State::Interrupted, {}};
    if (whole)
        return {Action::Settle, end.timedOut ? State::TimedOut : ending.success() ? State::Done : State::Failed, {}};
    const bool began = seen == Seen::Begun;
    // A script line that fails stops the script: the program ended normally without getting to these.
    if (ending.success())
        return {Action::Settle, State::Failed, began ? stoppedHere : stoppedBefore};
    if (began)
        return end.timedOut ? Verdict{Action::Settle, State::TimedOut, hungHere}
                            : Verdict{Action::Settle, State::Failed, endedHere};
    return {Action::Requeue, State::Pending, {}};
}

} // namespace

bool stoppedByInterrupt(const SessionEnding& end)
{
    return end.ending.killed && !end.timedOut;
}

std::vector<Verdict> batchVerdicts(const SessionEnding& end, std::span<const Seen> seen)
{
    const bool stopped = stoppedByInterrupt(end);
    const bool whole =
        !end.marks || std::all_of(seen.begin(), seen.end(), [](Seen drawing) { return drawing == Seen::Nothing; });
    std::vector<Verdict> verdicts;
    verdicts.reserve(seen.size());
    for (const Seen drawing : seen)
        verdicts.push_back(verdictFor(end, stopped, whole, drawing));
    return verdicts;
}

MarkStep afterMark(Seen seen, script::MarkKind kind)
{
    if (seen == Seen::Ended)
        return {Seen::Ended, false};
    return {kind == script::MarkKind::End ? Seen::Ended : Seen::Begun, true};
}

} // namespace supervise
