#pragma once

#include "os/result.h"
#include "script/runrequest.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// How a supervised run runs, whoever starts it: the window's settings, vendrel-run's options, a job file and a
// journal all hold one of these, and their bounds and defaults are the ones below.
namespace supervise {

// How the command line of a session is formed.
enum class CommandForm
{
    Standard, // "<program>" "<start drawing>" <parameters> /b "<script>": one CAD session per batch
    Console,  // "<program>" /i "<drawing>" /s "<script>" <parameters>: the headless console, one drawing a process
};

enum class MarksChoice
{
    Auto, // the kept answer for the program (probe.h), off without one
    On,
    Off,
};

struct RunPolicy
{
    static constexpr std::size_t maxBatchSize = 1000;
    static constexpr std::chrono::milliseconds defaultTimeout{std::chrono::seconds(600)};
    static constexpr std::chrono::milliseconds minTimeout{100};
    static constexpr std::chrono::milliseconds maxTimeout{std::chrono::hours(24)};
    static constexpr std::size_t maxSessions = 64;

    std::size_t batchSize = 1;                          // drawings per CAD session, 1 to maxBatchSize
    std::chrono::milliseconds timeout = defaultTimeout; // per drawing, minTimeout to maxTimeout
    std::size_t sessions = 1;                           // CAD sessions at once, 1 to maxSessions
    MarksChoice marks = MarksChoice::Auto;
    std::optional<CommandForm> form; // nothing: the program's name decides (formByName)
    // The scripts each CAD session runs once before its first drawing and once after its last (before .EXIT),
    // whole paths as the file system takes them; empty: none.
    std::string sessionStart;
    std::string sessionEnd;

    friend bool operator==(const RunPolicy&, const RunPolicy&) = default;
};

// The policy with every value brought inside its bounds (settings and journals written by hand or by older
// versions may hold anything).
RunPolicy bounded(RunPolicy policy);

// The values as the command line and job files write them, read back with a message that says what is
// expected ("ett heltal från 1 till 1000"); the caller names the option or key.
Result<std::size_t> parseBatchSize(std::string_view text);
Result<std::size_t> parseSessions(std::string_view text);
// Seconds, decimals allowed.
Result<std::chrono::milliseconds> parseTimeout(std::string_view text);
Result<std::chrono::milliseconds> timeoutFromSeconds(double seconds);
Result<MarksChoice> parseMarksChoice(std::string_view text); // on, off, auto
// standard, console, auto (nothing: the program's name decides)
Result<std::optional<CommandForm>> parseCommandForm(std::string_view text);
// A session script's path: empty for none; a line break or another control character is refused.
Result<std::string> parseSessionScript(std::string_view text);
std::string_view marksChoiceWord(MarksChoice choice);
std::string_view commandFormWord(std::optional<CommandForm> form);
// Seconds with up to three decimals ("600", "0.25").
std::string timeoutText(std::chrono::milliseconds timeout);

// Names the policy's session scripts in the request. Its check (script::checkRequest) reads them, so that a
// missing or unreadable one is refused before anything runs.
void useSessionScripts(const RunPolicy& policy, script::RunRequest& request);

// The console form for a program whose file name is "accoreconsole.exe" (compared without case).
CommandForm formByName(std::string_view program);
CommandForm formFor(const RunPolicy& policy, std::string_view program);
// The drawings a session gets at once: one in the console form, which opens one drawing a process.
std::size_t batchSizeFor(const RunPolicy& policy, CommandForm form);
// The sessions a run over this many drawings has: as many as the policy wants, but no more than it has batches,
// and 1 to maxSessions.
std::size_t sessionsFor(const RunPolicy& policy, CommandForm form, std::size_t drawings);

} // namespace supervise
