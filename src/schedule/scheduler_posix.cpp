#include "os/capture.h"
#include "schedule/scheduler.h"
#include "schedule/texts.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace schedule::native {

namespace {

std::string systemctl()
{
    const char* standIn = std::getenv("VENDREL_SYSTEMCTL");
    return standIn && *standIn ? std::string(standIn) : std::string("systemctl");
}

Result<process::Captured> runSystemctl(std::vector<std::string> words)
{
    words.insert(words.begin(), {systemctl(), "--user", "--no-ask-password"});
    return runScheduler("systemctl", std::move(words));
}

Result<void> systemctlDoes(std::vector<std::string> words)
{
    const auto ran = runSystemctl(std::move(words));
    if (!ran)
        return Result<void>::failure(ran.error());
    if (!ran->success())
        return Result<void>::failure(refusal("systemctl", *ran));
    return {};
}

std::string unitFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config == '/')
        base = config;
    else
        base = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.config";
    return base + "/systemd/user";
}

Result<void> writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        return Result<void>::failure(texts::cannotWrite(path, std::strerror(errno)));
    return {};
}

Result<void> makeFolders(const std::string& path)
{
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string folder = path.substr(0, at);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return Result<void>::failure(texts::cannotWrite(folder, std::strerror(errno)));
    }
    return {};
}

// The Description= of a unit's text, its %% read as %.
std::string describedIn(const std::string& unit)
{
    const std::string key = "Description=";
    const std::size_t at = unit.find("\n" + key);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + 1 + key.size();
    const std::string raw = unit.substr(begin, unit.find('\n', begin) - begin);
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        text += raw[i];
        if (raw[i] == '%' && i + 1 < raw.size() && raw[i + 1] == '%')
            ++i;
    }
    return text;
}

} // namespace

System system()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info
    {
    };
    if (!std::getenv("VENDREL_SYSTEMCTL") && runtime && *runtime &&
        ::stat((std::string(runtime) + "/systemd/private").c_str(), &info) == 0)
        return System::SystemdTimer;
    // "offline" (no manager), or no systemctl at all.
    const auto ran = runSystemctl({"is-system-running"});
    if (!ran)
        return System::Crontab;
    const std::string state = trimmed(ran->output);
    for (const char* running : {"running", "degraded", "starting", "initializing", "maintenance"}) {
        if (state == running)
            return System::SystemdTimer;
    }
    return System::Crontab;
}

Result<std::vector<Listed>> list()
{
    std::vector<Listed> found;
    const std::string folder = unitFolder();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return found; // no units of the user at all
    constexpr std::string_view prefix = "vendrel-", suffix = ".timer";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view file = entry->d_name;
        if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) || !file.ends_with(suffix))
            continue;
        Listed task;
        task.name = std::string(file.substr(prefix.size(), file.size() - prefix.size() - suffix.size()));
        if (const auto unit = readFile(folder + "/" + std::string(file)))
            task.description = describedIn(*unit);
        found.push_back(std::move(task));
    }
    ::closedir(dir);
    return found;
}

Result<void> add(const Task& task, bool replacing, const Moment&)
{
    const std::string folder = unitFolder();
    if (auto made = makeFolders(folder); !made)
        return made;
    const std::string service = folder + "/" + serviceName(task.name), timer = folder + "/" + timerName(task.name);
    // What a failure puts back: the task this one replaces, or nothing.
    const std::optional<std::string> oldService = replacing ? readFile(service) : std::nullopt;
    const std::optional<std::string> oldTimer = replacing ? readFile(timer) : std::nullopt;
    const auto undo = [&](const std::string& why) {
        for (const auto& [path, old] : {std::pair{service, oldService}, std::pair{timer, oldTimer}}) {
            if (old)
                (void)writeFile(path, *old);
            else
                std::remove(path.c_str());
        }
        (void)systemctlDoes({"daemon-reload"});
        return Result<void>::failure(why);
    };
    if (auto written = writeFile(service, serviceUnit(task)); !written)
        return undo(written.error());
    if (auto written = writeFile(timer, timerUnit(task)); !written)
        return undo(written.error());
    if (auto reloaded = systemctlDoes({"daemon-reload"}); !reloaded)
        return undo(reloaded.error());
    if (auto enabled = systemctlDoes({"enable", "--now", timerName(task.name)}); !enabled)
        return undo(enabled.error());
    // A timer that ran already keeps its old time until it is started anew.
    if (replacing) {
        if (auto restarted = systemctlDoes({"restart", timerName(task.name)}); !restarted)
            return restarted;
    }
    return {};
}

Result<void> remove(std::string_view name)
{
    if (auto disabled = systemctlDoes({"disable", "--now", timerName(name)}); !disabled)
        return disabled;
    const std::string folder = unitFolder();
    for (const std::string& file : {timerName(name), serviceName(name)}) {
        const std::string path = folder + "/" + file;
        if (std::remove(path.c_str()) != 0 && errno != ENOENT)
            return Result<void>::failure(texts::cannotWrite(path, std::strerror(errno)));
    }
    return systemctlDoes({"daemon-reload"});
}

} // namespace schedule::native
