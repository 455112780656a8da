#pragma once

#include "os/result.h"

#include <string>
#include <string_view>

// A job run at a time by the operating system's own scheduler: when it runs, under which name, and the texts
// each scheduler is given (a task of the Task Scheduler, a systemd user timer, a crontab line). Plain C++ and
// pure: what starts the schedulers lives in scheduler.h.
namespace schedule {

enum class Repeat
{
    Once,
    Daily,
    Weekdays, // Monday to Friday
};

struct Schedule
{
    Repeat repeat = Repeat::Daily;
    int year = 0; // the date, with Once only
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    friend bool operator==(const Schedule&, const Schedule&) = default;
};

// A point in local time, to the minute.
struct Moment
{
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
};

// "once 2026-12-24 02:00", "daily 02:00" or "weekdays 02:00" (the words as on the command line); a date or
// time that does not exist (25:00, 2026-02-30) is refused with a message that says which.
Result<Schedule> parseSchedule(std::string_view text);
// The schedule as parseSchedule reads it.
std::string scheduleText(const Schedule& schedule);
// Whether the date is one of the calendar (Gregorian, years 1970 to 9999).
bool validDate(int year, int month, int day);
// A schedule that will still run after now: one run once that lies in the past will not.
bool stillAhead(const Schedule& schedule, const Moment& now);

// A task's name: letters A-Z and a-z, digits, '-' and '_', at most maxNameLength; the same on every scheduler
// (a systemd unit name takes no more, and the user finds the task by it).
constexpr std::size_t maxNameLength = 64;
Result<void> checkName(std::string_view name);
// The name a job file gives its task: its file name without ".vjob", with å, ä, ö and é written a, a, o, e and
// blanks and other signs as '-'. "jobb" when nothing is left.
std::string nameForJob(std::string_view jobPath);

// What a scheduled task runs: vendrel-run --job with the job's whole path. Both are UTF-8 texts here.
struct Task
{
    std::string name;
    Schedule schedule;
    std::string program; // vendrel-run, whole path
    std::string jobPath; // whole path
};

// A job path or program that holds a line break or another control character cannot stand in a task's command
// line (a crontab line and a unit file are line by line): the message that says so, or nothing.
Result<void> checkCommandPaths(const Task& task);

// The description a task carries, from which a listing shows it: the schedule and the job.
std::string description(const Task& task);

// --- Windows: Task Scheduler ---

// The task's folder of its own in the Task Scheduler, and a task's path there ("Vendrel\natt").
constexpr std::string_view taskFolder = "Vendrel";
std::string taskPath(std::string_view name);
// The task's definition in the Task Scheduler's XML (as UTF-8 text; taskXmlFile makes the file of it). It runs
// as user (DOMAIN\name) only while that user is logged on, so the CAD program has the user's desktop and
// licence; a run missed while nobody was logged on is not made up later, nor is a second started while one
// still runs. today dates the start of a repeated task.
std::string taskXml(const Task& task, std::string_view user, const Moment& today);
// The file schtasks reads: UTF-16 LE with a byte-order mark, its declaration saying so.
std::string taskXmlFile(std::string_view xml);
// The command-line arguments after the program, by the rules by which CommandLineToArgvW splits them.
std::string taskArguments(const Task& task);
// The text of the first element named tag in an XML text (its entities read), or nothing.
std::string xmlElementText(std::string_view xml, std::string_view tag);

// --- Linux: systemd user timer, or a crontab line ---

std::string serviceName(std::string_view name); // "vendrel-natt.service"
std::string timerName(std::string_view name);   // "vendrel-natt.timer"
// The service that runs the job once, and the timer that starts it; a run missed while the computer was off is
// not made up later.
std::string serviceUnit(const Task& task);
std::string timerUnit(const Task& task);
// The calendar event of OnCalendar=.
std::string onCalendar(const Schedule& schedule);
// One word of ExecStart=, by systemd's rules: in double quotes, with \, ", % and $ escaped.
std::string systemdQuoted(std::string_view word);
// The line for the user's crontab; run once it runs in the named year only.
std::string crontabLine(const Task& task);
// One word for sh, in single quotes, with % escaped for cron.
std::string crontabQuoted(std::string_view word);

} // namespace schedule
