#include "schedule/scheduler.h"

#include "schedule/texts.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

namespace schedule {

System systemHere()
{
    return native::system();
}

Moment localNow()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (!local)
        return {};
    return {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min};
}

Result<std::vector<Listed>> listTasks()
{
    if (native::system() == System::Crontab)
        return std::vector<Listed>{};
    auto listed = native::list();
    if (listed)
        std::sort(listed->begin(), listed->end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return listed;
}

Result<Added> addTask(const Task& task, bool replace)
{
    using Failure = Result<Added>;
    if (auto named = checkName(task.name); !named)
        return Failure::failure(named.error());
    if (auto paths = checkCommandPaths(task); !paths)
        return Failure::failure(paths.error());
    const Moment now = localNow();
    if (!stillAhead(task.schedule, now))
        return Failure::failure(texts::past(scheduleText(task.schedule).substr(5)));
    Added added;
    added.system = native::system();
    if (added.system == System::Crontab) {
        added.crontabLine = crontabLine(task);
        return added;
    }
    const auto listed = native::list();
    if (!listed)
        return Failure::failure(listed.error());
    const bool exists =
        std::any_of(listed->begin(), listed->end(), [&](const Listed& t) { return t.name == task.name; });
    if (exists && !replace)
        return Failure::failure(texts::exists(task.name));
    if (auto done = native::add(task, exists, now); !done)
        return Failure::failure(done.error());
    return added;
}

Result<void> removeTask(std::string_view name)
{
    if (auto named = checkName(name); !named)
        return named;
    if (native::system() == System::Crontab)
        return Result<void>::failure(texts::noUserSystemd());
    const auto listed = native::list();
    if (!listed)
        return Result<void>::failure(listed.error());
    if (std::none_of(listed->begin(), listed->end(), [&](const Listed& t) { return t.name == name; }))
        return Result<void>::failure(texts::noTask(name));
    return native::remove(name);
}

namespace native {

Result<process::Captured> runScheduler(std::string_view program, std::vector<std::string> words)
{
    using namespace std::chrono_literals;
    // Both answer at once; a minute only bounds one that hangs on a service that does not answer.
    auto ran = process::capture(words, 60s);
    if (!ran)
        return Result<process::Captured>::failure(texts::notStarted(program, ran.error()));
    return ran;
}

std::string refusal(std::string_view program, const process::Captured& ran)
{
    return texts::refused(program, ran.exited ? ran.code : -1, trimmed(ran.output));
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace native

} // namespace schedule
