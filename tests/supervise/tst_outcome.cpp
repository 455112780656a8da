// What a batch's end, its marks and the watchdog make of each drawing: every kind of ending against marks off,
// marks that never came, and marks that place the session before, at or after each drawing.
#include "supervise/outcome.h"

#include <gtest/gtest.h>
#include <ostream>

namespace supervise {

void PrintTo(const Verdict& verdict, std::ostream* out)
{
    *out << int(verdict.action) << '/' << stateName(verdict.state) << '/' << verdict.cause;
}

} // namespace supervise

namespace {

using supervise::Seen;
using supervise::SessionEnding;
using supervise::State;
using supervise::Verdict;
using Action = Verdict::Action;

constexpr std::string_view hung = "hängde i den här ritningen";
constexpr std::string_view ended = "CAD-programmet avslutades i den här ritningen";
constexpr std::string_view stoppedIn = "scriptet stannade i den här ritningen";
constexpr std::string_view stoppedBefore = "scriptet stannade före den här ritningen";

const Verdict keep{Action::Keep, State::Done, "slutmärke"};
const Verdict requeue{Action::Requeue, State::Pending, {}};
Verdict settle(State state, std::string_view cause = {})
{
    return {Action::Settle, state, cause};
}
const Verdict done = settle(State::Done), failed = settle(State::Failed), timedOut = settle(State::TimedOut),
              interrupted = settle(State::Interrupted);

enum class End
{
    Normal,  // status 0
    Status1, // another status
    Crash,   // a signal
    Hang,    // killed by the watchdog
    Stop,    // killed by the run's stop
};

SessionEnding ending(End end, bool marks)
{
    switch (end) {
    case End::Normal:
        return {{true, 0, false}, false, marks};
    case End::Status1:
        return {{true, 1, false}, false, marks};
    case End::Crash:
        return {{false, 11, false}, false, marks};
    case End::Hang:
        return {{false, 9, true}, true, marks};
    case End::Stop:
        break;
    }
    return {{false, 9, true}, false, marks};
}

struct Row
{
    const char* what;
    bool marks;
    const char* seen; // one a drawing: '-' no mark, 'b' its begin mark only, 'e' its begin and end marks
    End end;
    std::vector<Verdict> expected;
};

std::vector<Seen> seenOf(std::string_view marks)
{
    std::vector<Seen> seen;
    for (const char c : marks)
        seen.push_back(c == 'e' ? Seen::Ended : c == 'b' ? Seen::Begun : Seen::Nothing);
    return seen;
}

TEST(BatchVerdicts, EveryEndingAgainstEveryPlaceTheMarksLeftTheSession)
{
    const Row rows[] = {
        {"no marks, status 0", false, "---", End::Normal, {done, done, done}},
        {"no marks, status 1", false, "---", End::Status1, {failed, failed, failed}},
        {"no marks, crash", false, "---", End::Crash, {failed, failed, failed}},
        {"no marks, hang", false, "---", End::Hang, {timedOut, timedOut, timedOut}},
        {"no marks, stop", false, "---", End::Stop, {interrupted, interrupted, interrupted}},
        // A program that does not carry marks out: the session's ending is every drawing's, as without.
        {"marks never came, status 0", true, "---", End::Normal, {done, done, done}},
        {"marks never came, status 1", true, "---", End::Status1, {failed, failed, failed}},
        {"marks never came, crash", true, "---", End::Crash, {failed, failed, failed}},
        {"marks never came, hang", true, "---", End::Hang, {timedOut, timedOut, timedOut}},
        {"marks never came, stop", true, "---", End::Stop, {interrupted, interrupted, interrupted}},
        // Before, at and after the drawing in progress.
        {"in the second, status 0",
         true,
         "eb-",
         End::Normal,
         {keep, settle(State::Failed, stoppedIn), settle(State::Failed, stoppedBefore)}},
        {"in the second, status 1", true, "eb-", End::Status1, {keep, settle(State::Failed, ended), requeue}},
        {"in the second, crash", true, "eb-", End::Crash, {keep, settle(State::Failed, ended), requeue}},
        {"in the second, hang", true, "eb-", End::Hang, {keep, settle(State::TimedOut, hung), requeue}},
        {"in the second, stop", true, "eb-", End::Stop, {keep, interrupted, interrupted}},
        // Between two drawings: the first ended, the next never began.
        {"between, status 0",
         true,
         "e--",
         End::Normal,
         {keep, settle(State::Failed, stoppedBefore), settle(State::Failed, stoppedBefore)}},
        {"between, crash", true, "e--", End::Crash, {keep, requeue, requeue}},
        {"between, hang", true, "e--", End::Hang, {keep, requeue, requeue}},
        {"between, stop", true, "e--", End::Stop, {keep, interrupted, interrupted}},
        {"in the first, crash", true, "b--", End::Crash, {settle(State::Failed, ended), requeue, requeue}},
        {"in the first, hang", true, "b--", End::Hang, {settle(State::TimedOut, hung), requeue, requeue}},
        // A drawing the script skipped is not charged with the crash of the next one.
        {"first skipped, crash", true, "-b-", End::Crash, {requeue, settle(State::Failed, ended), requeue}},
        {"all ended, status 0", true, "eee", End::Normal, {keep, keep, keep}},
        {"all ended, crash", true, "eee", End::Crash, {keep, keep, keep}},
        {"all ended, stop", true, "eee", End::Stop, {keep, keep, keep}},
    };
    for (const Row& row : rows) {
        const SessionEnding end = ending(row.end, row.marks);
        EXPECT_EQ(supervise::batchVerdicts(end, seenOf(row.seen)), row.expected) << row.what;
        EXPECT_EQ(supervise::stoppedByInterrupt(end), row.end == End::Stop) << row.what;
    }
}

TEST(AfterMark, AnEndedDrawingStaysEndedAndEveryOtherMarkIsNews)
{
    using script::MarkKind;
    const struct
    {
        Seen before;
        MarkKind kind;
        Seen after;
        bool news;
    } rows[] = {
        {Seen::Nothing, MarkKind::Begin, Seen::Begun, true}, {Seen::Nothing, MarkKind::End, Seen::Ended, true},
        {Seen::Begun, MarkKind::Begin, Seen::Begun, true},   {Seen::Begun, MarkKind::End, Seen::Ended, true},
        {Seen::Ended, MarkKind::Begin, Seen::Ended, false},  {Seen::Ended, MarkKind::End, Seen::Ended, false},
    };
    for (const auto& row : rows) {
        const supervise::MarkStep step = supervise::afterMark(row.before, row.kind);
        EXPECT_EQ(step.seen, row.after) << int(row.before) << ' ' << int(row.kind);
        EXPECT_EQ(step.news, row.news) << int(row.before) << ' ' << int(row.kind);
    }
}

} // namespace
