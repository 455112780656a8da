#include "schedule/schedule.h"

#include "os/markup.h"
#include "os/process.h"
#include "schedule/texts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <vector>

namespace schedule {

namespace {

std::string twoDigits(int value)
{
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string clockText(int hour, int minute)
{
    return twoDigits(hour) + ":" + twoDigits(minute);
}

std::string dateText(int year, int month, int day)
{
    return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
}

// A number of exactly digits digits, or -1.
int number(std::string_view text, std::size_t digits)
{
    if (text.size() != digits)
        return -1;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> found;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t') {
            ++at;
            continue;
        }
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        found.push_back(text.substr(at, end - at));
        at = end;
    }
    return found;
}

void appendUtf16(std::string& out, char32_t unit)
{
    const auto put = [&](char32_t half) {
        out += static_cast<char>(half & 0xFF);
        out += static_cast<char>(half >> 8);
    };
    if (unit < 0x10000) {
        put(unit);
    } else {
        unit -= 0x10000;
        put(0xD800 + (unit >> 10));
        put(0xDC00 + (unit & 0x3FF));
    }
}

} // namespace

bool validDate(int year, int month, int day)
{
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    constexpr std::array<int, 12> lengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[std::size_t(month - 1)] + (month == 2 && leap ? 1 : 0);
}

Result<Schedule> parseSchedule(std::string_view text)
{
    const auto refused = [](std::string message) { return Result<Schedule>::failure(std::move(message)); };
    const std::vector<std::string_view> parts = words(text);
    if (parts.empty())
        return refused(texts::noSchedule());
    Schedule schedule;
    std::size_t expected = 2;
    if (parts[0] == "once") {
        schedule.repeat = Repeat::Once;
        expected = 3;
    } else if (parts[0] == "daily") {
        schedule.repeat = Repeat::Daily;
    } else if (parts[0] == "weekdays") {
        schedule.repeat = Repeat::Weekdays;
    } else {
        return refused(texts::unknownRepeat(parts[0]));
    }
    if (parts.size() != expected)
        return refused(texts::scheduleForm(text));
    if (schedule.repeat == Repeat::Once) {
        const std::string_view date = parts[1];
        if (date.size() != 10 || date[4] != '-' || date[7] != '-')
            return refused(texts::dateForm(date));
        schedule.year = number(date.substr(0, 4), 4);
        schedule.month = number(date.substr(5, 2), 2);
        schedule.day = number(date.substr(8, 2), 2);
        if (schedule.year < 0 || schedule.month < 0 || schedule.day < 0)
            return refused(texts::dateForm(date));
        if (!validDate(schedule.year, schedule.month, schedule.day))
            return refused(texts::noSuchDate(date));
    }
    const std::string_view time = parts.back();
    const std::size_t colon = time.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || time.size() - colon - 1 != 2)
        return refused(texts::timeForm(time));
    schedule.hour = number(time.substr(0, colon), colon);
    schedule.minute = number(time.substr(colon + 1), 2);
    if (schedule.hour < 0 || schedule.minute < 0)
        return refused(texts::timeForm(time));
    if (schedule.hour > 23 || schedule.minute > 59)
        return refused(texts::noSuchTime(time));
    return schedule;
}

std::string scheduleText(const Schedule& schedule)
{
    const std::string time = clockText(schedule.hour, schedule.minute);
    switch (schedule.repeat) {
    case Repeat::Once:
        return "once " + dateText(schedule.year, schedule.month, schedule.day) + " " + time;
    case Repeat::Daily:
        return "daily " + time;
    case Repeat::Weekdays:
        return "weekdays " + time;
    }
    return {};
}

bool stillAhead(const Schedule& schedule, const Moment& now)
{
    if (schedule.repeat != Repeat::Once)
        return true;
    const auto key = [](int year, int month, int day, int hour, int minute) {
        return (((std::int64_t(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute;
    };
    return key(schedule.year, schedule.month, schedule.day, schedule.hour, schedule.minute) >
           key(now.year, now.month, now.day, now.hour, now.minute);
}

Result<void> checkName(std::string_view name)
{
    if (name.empty())
        return Result<void>::failure(texts::emptyName());
    if (name.size() > maxNameLength)
        return Result<void>::failure(texts::longName(name, maxNameLength));
    for (const char c : name) {
        const bool fine =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!fine)
            return Result<void>::failure(texts::badName(name));
    }
    return {};
}

std::string nameForJob(std::string_view jobPath)
{
    std::string_view file =
        jobPath.substr(jobPath.find_last_of("/\\") == std::string_view::npos ? 0 : jobPath.find_last_of("/\\") + 1);
    constexpr std::string_view extension = ".vjob";
    if (file.size() > extension.size()) {
        std::string tail(file.substr(file.size() - extension.size()));
        for (char& c : tail)
            c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (tail == extension)
            file.remove_suffix(extension.size());
    }
    // Two-byte UTF-8 letters of Swedish and its neighbours, written as the ASCII letter they carry.
    struct Letter
    {
        std::string_view utf8;
        char ascii;
    };
    constexpr std::array<Letter, 12> letters{{{"å", 'a'},
                                              {"ä", 'a'},
                                              {"ö", 'o'},
                                              {"Å", 'A'},
                                              {"Ä", 'A'},
                                              {"Ö", 'O'},
                                              {"é", 'e'},
                                              {"É", 'E'},
                                              {"ü", 'u'},
                                              {"Ü", 'U'},
                                              {"ø", 'o'},
                                              {"æ", 'a'}}};
    std::string name;
    for (std::size_t at = 0; at < file.size();) {
        const char c = file[at];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
            name += c;
            ++at;
            continue;
        }
        bool matched = false;
        for (const Letter& letter : letters) {
            if (file.substr(at, letter.utf8.size()) == letter.utf8) {
                name += letter.ascii;
                at += letter.utf8.size();
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        // Any other sign, or the rest of a letter of more bytes, is one separator.
        if (!name.empty() && name.back() != '-')
            name += '-';
        ++at;
        while (at < file.size() && (static_cast<unsigned char>(file[at]) & 0xC0) == 0x80)
            ++at;
    }
    while (!name.empty() && name.back() == '-')
        name.pop_back();
    if (name.size() > maxNameLength)
        name.resize(maxNameLength);
    return name.empty() ? std::string("jobb") : name;
}

Result<void> checkCommandPaths(const Task& task)
{
    for (const std::string* path : {&task.program, &task.jobPath}) {
        for (const char c : *path) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return Result<void>::failure(texts::controlInPath(*path));
        }
    }
    return {};
}

std::string description(const Task& task)
{
    return "Vendrel: " + scheduleText(task.schedule) + " " + task.jobPath;
}

std::string taskPath(std::string_view name)
{
    return std::string(taskFolder) + "\\" + std::string(name);
}

std::string taskArguments(const Task& task)
{
    std::string arguments = "--job ";
    process::appendQuotedArgument(arguments, task.jobPath);
    return arguments;
}

std::string taskXml(const Task& task, std::string_view user, const Moment& today)
{
    const Schedule& when = task.schedule;
    const std::string start = when.repeat == Repeat::Once ? dateText(when.year, when.month, when.day)
                                                          : dateText(today.year, today.month, today.day);
    const std::string boundary =
        "      <StartBoundary>" + start + "T" + clockText(when.hour, when.minute) + ":00</StartBoundary>\n";
    std::string trigger;
    switch (when.repeat) {
    case Repeat::Once:
        trigger = "    <TimeTrigger>\n" + boundary + "      <Enabled>true</Enabled>\n    </TimeTrigger>\n";
        break;
    case Repeat::Daily:
        trigger = "    <CalendarTrigger>\n" + boundary +
                  "      <Enabled>true</Enabled>\n"
                  "      <ScheduleByDay>\n        <DaysInterval>1</DaysInterval>\n      </ScheduleByDay>\n"
                  "    </CalendarTrigger>\n";
        break;
    case Repeat::Weekdays:
        trigger = "    <CalendarTrigger>\n" + boundary +
                  "      <Enabled>true</Enabled>\n"
                  "      <ScheduleByWeek>\n"
                  "        <DaysOfWeek>\n"
                  "          <Monday />\n          <Tuesday />\n          <Wednesday />\n"
                  "          <Thursday />\n          <Friday />\n"
                  "        </DaysOfWeek>\n"
                  "        <WeeksInterval>1</WeeksInterval>\n"
                  "      </ScheduleByWeek>\n"
                  "    </CalendarTrigger>\n";
        break;
    }
    const std::string folder = [&] {
        const std::size_t separator = task.jobPath.find_last_of("\\/");
        return separator == std::string::npos ? std::string() : task.jobPath.substr(0, separator);
    }();
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <RegistrationInfo>\n"
           "    <Author>" +
           markupEscaped(user) + "</Author>\n    <Description>" + markupEscaped(description(task)) +
           "</Description>\n    <URI>\\" + markupEscaped(taskPath(task.name)) +
           "</URI>\n"
           "  </RegistrationInfo>\n"
           "  <Triggers>\n" +
           trigger +
           "  </Triggers>\n"
           "  <Principals>\n"
           "    <Principal id=\"Author\">\n"
           "      <UserId>" +
           markupEscaped(user) +
           "</UserId>\n"
           "      <LogonType>InteractiveToken</LogonType>\n"
           "      <RunLevel>LeastPrivilege</RunLevel>\n"
           "    </Principal>\n"
           "  </Principals>\n"
           "  <Settings>\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           "    <StartWhenAvailable>false</StartWhenAvailable>\n"
           "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
           "    <IdleSettings>\n"
           "      <StopOnIdleEnd>false</StopOnIdleEnd>\n"
           "      <RestartOnIdle>false</RestartOnIdle>\n"
           "    </IdleSettings>\n"
           "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
           "    <Enabled>true</Enabled>\n"
           "    <Hidden>false</Hidden>\n"
           "    <RunOnlyIfIdle>false</RunOnlyIfIdle>\n"
           "    <WakeToRun>false</WakeToRun>\n"
           "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
           "  </Settings>\n"
           "  <Actions Context=\"Author\">\n"
           "    <Exec>\n"
           "      <Command>" +
           markupEscaped(task.program) + "</Command>\n      <Arguments>" + markupEscaped(taskArguments(task)) +
           "</Arguments>\n      <WorkingDirectory>" + markupEscaped(folder) +
           "</WorkingDirectory>\n"
           "    </Exec>\n"
           "  </Actions>\n"
           "</Task>\n";
}

std::string taskXmlFile(std::string_view xml)
{
    std::string out = "\xFF\xFE";
    out.reserve(2 + xml.size() * 2);
    for (std::size_t at = 0; at < xml.size();) {
        const auto byte = static_cast<unsigned char>(xml[at]);
        const std::size_t length = byte < 0x80         ? 1
                                   : byte >> 5 == 0x6  ? 2
                                   : byte >> 4 == 0xE  ? 3
                                   : byte >> 3 == 0x1E ? 4
                                                       : 0;
        char32_t unit = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool whole = length > 0 && at + length <= xml.size();
        for (std::size_t i = 1; whole && i < length; ++i) {
            const auto next = static_cast<unsigned char>(xml[at + i]);
            whole = (next & 0xC0) == 0x80;
            unit = (unit << 6) | (next & 0x3F);
        }
        if (!whole || unit > 0x10FFFF) {
            appendUtf16(out, 0xFFFD);
            ++at;
            continue;
        }
        appendUtf16(out, unit);
        at += length;
    }
    return out;
}

std::string xmlElementText(std::string_view xml, std::string_view tag)
{
    const std::string open = "<" + std::string(tag) + ">", close = "</" + std::string(tag) + ">";
    const std::size_t begin = xml.find(open);
    if (begin == std::string_view::npos)
        return {};
    const std::size_t end = xml.find(close, begin + open.size());
    if (end == std::string_view::npos)
        return {};
    const std::string_view raw = xml.substr(begin + open.size(), end - begin - open.size());
    std::string text;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        if (raw[at] != '&') {
            text += raw[at];
            continue;
        }
        const std::size_t semicolon = raw.find(';', at);
        const std::string_view entity = raw.substr(at + 1, semicolon - at - 1);
        if (semicolon == std::string_view::npos) {
            text += raw[at];
            continue;
        }
        if (entity == "amp")
            text += '&';
        else if (entity == "lt")
            text += '<';
        else if (entity == "gt")
            text += '>';
        else if (entity == "quot")
            text += '"';
        else if (entity == "apos")
            text += '\'';
        else
            text.append("&").append(entity).append(";");
        at = semicolon;
    }
    return text;
}

std::string serviceName(std::string_view name)
{
    return "vendrel-" + std::string(name) + ".service";
}

std::string timerName(std::string_view name)
{
    return "vendrel-" + std::string(name) + ".timer";
}

std::string systemdQuoted(std::string_view word)
{
    std::string out = "\"";
    for (const char c : word) {
        if (c == '\\' || c == '"')
            out += '\\';
        else if (c == '%' || c == '$')
            out += c; // %% and $$ stand for the sign itself
        out += c;
    }
    return out + "\"";
}

std::string serviceUnit(const Task& task)
{
    // A unit file's lines may hold only text: the description is the one place the job's path stands as it is,
    // so % there is escaped as everywhere else in the file.
    std::string described;
    for (const char c : description(task)) {
        if (c == '%')
            described += '%';
        described += c;
    }
    return "[Unit]\nDescription=" + described +
           "\n\n[Service]\nType=oneshot\nExecStart=" + systemdQuoted(task.program) + " --job " +
           systemdQuoted(task.jobPath) + "\n";
}

std::string onCalendar(const Schedule& schedule)
{
    const std::string time = clockText(schedule.hour, schedule.minute) + ":00";
    switch (schedule.repeat) {
    case Repeat::Once:
        return dateText(schedule.year, schedule.month, schedule.day) + " " + time;
    case Repeat::Daily:
        return "*-*-* " + time;
    case Repeat::Weekdays:
        return "Mon..Fri *-*-* " + time;
    }
    return {};
}

std::string timerUnit(const Task& task)
{
    std::string described;
    for (const char c : description(task)) {
        if (c == '%')
            described += '%';
        described += c;
    }
    return "[Unit]\nDescription=" + described + "\n\n[Timer]\nOnCalendar=" + onCalendar(task.schedule) +
           "\nPersistent=false\nUnit=" + serviceName(task.name) + "\n\n[Install]\nWantedBy=timers.target\n";
}

std::string crontabQuoted(std::string_view word)
{
    std::string out = "'";
    for (const char c : word) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '%')
            out += "\\%";
        else
            out += c;
    }
    return out + "'";
}

std::string crontabLine(const Task& task)
{
    const Schedule& when = task.schedule;
    std::string line = std::to_string(when.minute) + " " + std::to_string(when.hour) + " ";
    switch (when.repeat) {
    case Repeat::Once:
        // cron knows no year: the line stays, and runs only in the year named.
        line += std::to_string(when.day) + " " + std::to_string(when.month) +
                " * [ \"$(date +\\%Y)\" = " + std::to_string(when.year) + " ] && ";
        break;
    case Repeat::Daily:
        line += "* * * ";
        break;
    case Repeat::Weekdays:
        line += "* * 1-5 ";
        break;
    }
    return line + crontabQuoted(task.program) + " --job " + crontabQuoted(task.jobPath);
}

} // namespace schedule
