#include "supervise/runpolicy.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace supervise {

namespace {

constexpr std::pair<std::string_view, MarksChoice> marksWords[] = {
    {"auto", MarksChoice::Auto}, {"on", MarksChoice::On}, {"off", MarksChoice::Off}};
constexpr std::pair<std::string_view, std::optional<CommandForm>> formWords[] = {
    {"auto", std::nullopt}, {"standard", CommandForm::Standard}, {"console", CommandForm::Console}};

Result<std::size_t> parseCount(std::string_view text, std::size_t most)
{
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > most)
        return Result<std::size_t>::failure("ett heltal från 1 till " + std::to_string(most));
    return value;
}

} // namespace

RunPolicy bounded(RunPolicy policy)
{
    policy.batchSize = std::clamp<std::size_t>(policy.batchSize, 1, RunPolicy::maxBatchSize);
    policy.timeout = std::clamp(policy.timeout, RunPolicy::minTimeout, RunPolicy::maxTimeout);
    policy.sessions = std::clamp<std::size_t>(policy.sessions, 1, RunPolicy::maxSessions);
    return policy;
}

Result<std::size_t> parseBatchSize(std::string_view text)
{
    return parseCount(text, RunPolicy::maxBatchSize);
}

Result<std::size_t> parseSessions(std::string_view text)
{
    return parseCount(text, RunPolicy::maxSessions);
}

Result<std::chrono::milliseconds> timeoutFromSeconds(double seconds)
{
    using namespace std::chrono;
    constexpr double least = double(RunPolicy::minTimeout.count()) / 1000;
    constexpr double most = double(RunPolicy::maxTimeout.count()) / 1000;
    if (!(seconds >= least && seconds <= most)) // NaN too
        return Result<milliseconds>::failure("ett antal sekunder från " + timeoutText(RunPolicy::minTimeout) +
                                             " till " + timeoutText(RunPolicy::maxTimeout));
    return milliseconds(std::llround(seconds * 1000));
}

Result<std::chrono::milliseconds> parseTimeout(std::string_view text)
{
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size())
        seconds = -1;
    return timeoutFromSeconds(seconds);
}

Result<MarksChoice> parseMarksChoice(std::string_view text)
{
    for (const auto& [word, choice] : marksWords) {
        if (text == word)
            return choice;
    }
    return Result<MarksChoice>::failure("on, off eller auto");
}

Result<std::optional<CommandForm>> parseCommandForm(std::string_view text)
{
    for (const auto& [word, form] : formWords) {
        if (text == word)
            return form;
    }
    return Result<std::optional<CommandForm>>::failure("standard, console eller auto");
}

Result<std::string> parseSessionScript(std::string_view text)
{
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return Result<std::string>::failure("en sökväg utan radbrytningar och andra styrtecken");
    return std::string(text);
}

void useSessionScripts(const RunPolicy& policy, script::RunRequest& request)
{
    script::nameSessionScripts(request.sessionScripts, policy.sessionStart, policy.sessionEnd);
}

std::string_view marksChoiceWord(MarksChoice choice)
{
    for (const auto& [word, known] : marksWords) {
        if (choice == known)
            return word;
    }
    return "auto";
}

std::string_view commandFormWord(std::optional<CommandForm> form)
{
    for (const auto& [word, known] : formWords) {
        if (form == known)
            return word;
    }
    return "auto";
}

std::string timeoutText(std::chrono::milliseconds timeout)
{
    const auto ms = timeout.count();
    std::string text = std::to_string(ms / 1000);
    if (const auto fraction = ms % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        text += "." + digits;
    }
    return text;
}

CommandForm formByName(std::string_view program)
{
    const auto slash = program.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? program : program.substr(slash + 1);
    constexpr std::string_view console = "accoreconsole.exe";
    const bool same = name.size() == console.size() &&
                      std::equal(name.begin(), name.end(), console.begin(),
                                 [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
    return same ? CommandForm::Console : CommandForm::Standard;
}

CommandForm formFor(const RunPolicy& policy, std::string_view program)
{
    return policy.form.value_or(formByName(program));
}

std::size_t batchSizeFor(const RunPolicy& policy, CommandForm form)
{
    return form == CommandForm::Console ? 1 : std::max<std::size_t>(policy.batchSize, 1);
}

std::size_t sessionsFor(const RunPolicy& policy, CommandForm form, std::size_t drawings)
{
    const std::size_t batchSize = batchSizeFor(policy, form);
    const std::size_t batches = (drawings + batchSize - 1) / batchSize;
    return std::clamp<std::size_t>(std::min(policy.sessions, batches), 1, RunPolicy::maxSessions);
}

} // namespace supervise
