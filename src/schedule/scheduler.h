#pragma once

#include "os/capture.h"
#include "os/result.h"
#include "schedule/schedule.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Vendrel's tasks in the operating system's scheduler: the Task Scheduler's folder "Vendrel" on Windows; on
// Linux systemd user timers named vendrel-NAME where the user's systemd runs, and otherwise a crontab line the
// user adds. Implemented in scheduler.cpp with the system's part in scheduler_posix.cpp and scheduler_win.cpp.
//
// On Linux the systemctl that is run is $VENDREL_SYSTEMCTL when set (for tests, a stand-in), else the one on PATH.
namespace schedule {

enum class System
{
    TaskScheduler,
    SystemdTimer,
    Crontab, // nothing to register with: the user adds a line
};

// How this computer schedules Vendrel's tasks, asked anew each time (a user's systemd may start or stop).
System systemHere();

struct Listed
{
    std::string name;
    std::string description; // what the task runs when; empty when its definition cannot be read
};

// Vendrel's tasks, by name. Empty with Crontab: nothing there is Vendrel's to list.
Result<std::vector<Listed>> listTasks();

struct Added
{
    System system = System::Crontab;
    std::string crontabLine; // with Crontab: the line for the user to add; nothing was registered
};

// Registers the task. A task of the same name is refused unless replace is set; a task run once at a time
// already past is refused. When the scheduler refuses, its message is the failure and nothing of the task is
// left behind (a task it replaced stays as it was).
Result<Added> addTask(const Task& task, bool replace);

// Removes the task of that name: its registration and files.
Result<void> removeTask(std::string_view name);

// The local time now.
Moment localNow();

namespace native {
// The system's part, called by the functions above after their checks.
System system();
Result<std::vector<Listed>> list();
Result<void> add(const Task& task, bool replacing, const Moment& now);
Result<void> remove(std::string_view name);

// Shared by both: the scheduler's own program (systemctl, schtasks.exe) run with its output caught, bounded in
// time against one that hangs; and the failure of a run that did not end with status 0, with what it said.
Result<process::Captured> runScheduler(std::string_view program, std::vector<std::string> words);
std::string refusal(std::string_view program, const process::Captured& ran);
std::string trimmed(std::string text);
// A unit or task file whole, or nothing where it cannot be read.
std::optional<std::string> readFile(const std::string& path);
} // namespace native

} // namespace schedule
